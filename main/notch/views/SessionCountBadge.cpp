#include "main/notch/views/SessionCountBadge.h"

#include <algorithm>

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/notch/kit/Stack.h"

namespace murmeli::notch {

SessionCountBadge::SessionCountBadge(int count)
    : m_text(QString::number(static_cast<qint64>(count)),
        TextStyle { ui::Faces::systemMono(11, QFont::DemiBold), ui::Color::vantorBrass })
{
}

QSizeF SessionCountBadge::idealSize() const
{
    const QSizeF text = m_text.idealSize();
    return { dotDiameter + spacing + text.width(), std::max(dotDiameter, text.height()) };
}

void SessionCountBadge::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF box = aligned(idealSize(), frame);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ui::Color::vantorBrass);
    painter.drawEllipse(QPointF(box.left() + dotDiameter / 2, box.center().y()), dotDiameter / 2, dotDiameter / 2);
    painter.restore();
    const QSizeF text = m_text.idealSize();
    m_text.paint(painter, QRectF(box.left() + dotDiameter + spacing, box.top(), text.width(), box.height()), nowMs);
}

} // namespace murmeli::notch
