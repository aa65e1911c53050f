#include "main/notch/kit/TextView.h"

#include <QFontMetricsF>
#include <QPainter>

#include "main/ui/design/TextBound.h"

namespace murmeli::notch {

TextView::TextView(QString text, TextStyle style) : m_text(ui::boundedForLayout(text)), m_style(std::move(style))
{
    if (m_style.tracking != 0) {
        m_style.font.setLetterSpacing(QFont::AbsoluteSpacing, m_style.tracking);
    }
    const QFontMetricsF metrics(m_style.font);
    m_size = QSizeF(metrics.horizontalAdvance(m_text), metrics.height());
    m_ascent = metrics.ascent();
}

void TextView::paint(QPainter& painter, const QRectF& frame, qint64)
{
    if (m_text.isEmpty()) {
        return;
    }
    painter.setFont(m_style.font);
    painter.setPen(m_style.color);
    const qreal left = frame.left() + (frame.width() - m_size.width()) / 2;
    const qreal top = frame.top() + (frame.height() - m_size.height()) / 2;
    painter.drawText(QPointF(left, top + m_ascent), m_text);
}

} // namespace murmeli::notch
