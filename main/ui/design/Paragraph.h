#pragma once

#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextLayout>

#include "main/ui/design/TextStyle.h"

class QPainter;

namespace murmeli::ui {

/// Text wrapped to a width: at word boundaries where it can, anywhere where a word is too long; at most maxLines
/// lines (0: as many as it needs), the last of them cut with an ellipsis when the text goes on. Lines are aligned
/// left or centred. The layout is kept for the last width asked about.
class Paragraph final {
public:
    Paragraph() = default;
    Paragraph(QString text, TextStyle style, int maxLines = 0, Qt::Alignment alignment = Qt::AlignLeft);
    Paragraph(const Paragraph& other);
    Paragraph& operator=(const Paragraph& other);

    const QString& text() const { return m_text; }
    /// The size the text takes wrapped to width: the widest line and the lines' height.
    QSizeF sizeFor(qreal width) const;
    /// How many lines the text takes at width.
    int lineCount(qreal width) const;
    /// The text of each line as it is drawn at width, in order; a cut last line ends in its ellipsis.
    QStringList lines(qreal width) const;
    /// Draws the text wrapped to width with its first line's top at topLeft.
    void paint(QPainter& painter, QPointF topLeft, qreal width) const;
    /// Draws only the lines that reach into [fromY, toY), measured from the first line's top: a long text scrolled
    /// in a small frame costs the lines on show, not all of them.
    void paint(QPainter& painter, QPointF topLeft, qreal width, qreal fromY, qreal toY) const;

private:
    void layOut(qreal width) const;

    QString m_text;
    TextStyle m_style;
    int m_maxLines = 0;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    mutable QTextLayout m_layout;
    mutable qreal m_laidOutWidth = -1;
    mutable QSizeF m_size;
    /// The last line when it had to be cut, drawn in place of the layout's own.
    mutable QString m_elidedLast;
};

} // namespace murmeli::ui
