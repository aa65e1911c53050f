#include "main/notch/views/TopHighlight.h"

#include <QLinearGradient>
#include <QPainter>

namespace murmeli::notch {

void TopHighlight::paint(QPainter& painter, const QRectF& frame, qint64)
{
    const qreal lineWidth = frame.width() * 0.7;
    const QRectF line(frame.left() + (frame.width() - lineWidth) / 2, frame.top(), lineWidth, 1);
    QColor warm = QColor::fromRgbF(1.0f, 225 / 255.0f, 180 / 255.0f, 0.14f);
    QLinearGradient gradient(line.topLeft(), line.topRight());
    gradient.setColorAt(0, Qt::transparent);
    gradient.setColorAt(0.5, warm);
    gradient.setColorAt(1, Qt::transparent);
    painter.fillRect(line, gradient);
}

} // namespace murmeli::notch
