#include "main/ui/design/Paragraph.h"

#include <algorithm>
#include <limits>

#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>

#include "main/ui/design/TextBound.h"

namespace murmeli::ui {

// A paragraph of a few lines lays out no more than those lines can show; one of any length shows all of it, and
// draws only the lines in view.
Paragraph::Paragraph(QString text, TextStyle style, int maxLines, Qt::Alignment alignment)
    : m_text(maxLines > 0 ? boundedForLayout(text, maxLines) : std::move(text)), m_style(std::move(style)),
      m_maxLines(maxLines), m_alignment(alignment)
{
}

Paragraph::Paragraph(const Paragraph& other)
    : m_text(other.m_text), m_style(other.m_style), m_maxLines(other.m_maxLines), m_alignment(other.m_alignment)
{
}

Paragraph& Paragraph::operator=(const Paragraph& other)
{
    if (this != &other) {
        m_text = other.m_text;
        m_style = other.m_style;
        m_maxLines = other.m_maxLines;
        m_alignment = other.m_alignment;
        m_laidOutWidth = -1;
    }
    return *this;
}

void Paragraph::layOut(qreal width) const
{
    width = std::max<qreal>(width, 1);
    if (width == m_laidOutWidth) {
        return;
    }
    m_laidOutWidth = width;
    m_elidedLast.clear();
    m_layout.clearLayout();
    // A text layout breaks lines only at the Unicode line separator; a line feed would vanish and run two lines
    // into one. The replacement keeps every index, so the laid-out lines still name the text's own characters.
    m_layout.setText(QString(m_text).replace(QLatin1Char('\n'), QChar::LineSeparator));
    m_layout.setFont(m_style.font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout.setTextOption(option);
    const QFontMetricsF metrics(m_style.font);
    qreal height = 0;
    qreal widest = 0;
    m_layout.beginLayout();
    for (;;) {
        QTextLine line = m_layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
        if (m_maxLines > 0 && m_layout.lineCount() == m_maxLines) {
            const int end = line.textStart() + line.textLength();
            if (end < m_text.size()) {
                m_elidedLast = metrics.elidedText(m_text.mid(line.textStart()).simplified(), Qt::ElideRight, width);
                widest = std::max(widest, metrics.horizontalAdvance(m_elidedLast));
            }
            break;
        }
    }
    m_layout.endLayout();
    if (m_text.isEmpty()) {
        height = metrics.height();
    }
    m_size = QSizeF(std::min(widest, width), height);
}

QSizeF Paragraph::sizeFor(qreal width) const
{
    layOut(width);
    return m_size;
}

int Paragraph::lineCount(qreal width) const
{
    layOut(width);
    return std::max(1, m_layout.lineCount());
}

QStringList Paragraph::lines(qreal width) const
{
    layOut(width);
    QStringList texts;
    const int count = m_layout.lineCount();
    for (int i = 0; i < count; ++i) {
        const QTextLine line = m_layout.lineAt(i);
        texts.append(
            i == count - 1 && !m_elidedLast.isEmpty() ? m_elidedLast : m_text.mid(line.textStart(), line.textLength()));
    }
    return texts;
}

void Paragraph::paint(QPainter& painter, QPointF topLeft, qreal width) const
{
    paint(painter, topLeft, width, -std::numeric_limits<qreal>::infinity(), std::numeric_limits<qreal>::infinity());
}

void Paragraph::paint(QPainter& painter, QPointF topLeft, qreal width, qreal fromY, qreal toY) const
{
    layOut(width);
    painter.save();
    painter.setFont(m_style.font);
    painter.setPen(m_style.color);
    const bool centred = m_alignment & Qt::AlignHCenter;
    const int lines = m_layout.lineCount();
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = m_layout.lineAt(i);
        if (line.y() + line.height() <= fromY || line.y() >= toY) {
            continue;
        }
        const bool elided = i == lines - 1 && !m_elidedLast.isEmpty();
        const qreal lineWidth
            = elided ? QFontMetricsF(m_style.font).horizontalAdvance(m_elidedLast) : line.naturalTextWidth();
        const qreal x = topLeft.x() + (centred ? (width - lineWidth) / 2 : 0);
        if (elided) {
            painter.drawText(QPointF(x, topLeft.y() + line.y() + line.ascent()), m_elidedLast);
        } else {
            line.draw(&painter, QPointF(x - line.x(), topLeft.y()));
        }
    }
    painter.restore();
}

} // namespace murmeli::ui
