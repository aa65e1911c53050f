#include "main/ui/design/ElidedLine.h"

#include <optional>

#include <QFontMetricsF>
#include <QList>
#include <QTextBoundaryFinder>

#include "main/ui/design/TextBound.h"

namespace murmeli::ui {

QString elidedLine(const QString& text, const QFont& font, qreal width, Qt::TextElideMode mode,
    const std::function<QString(const QString&)>& written)
{
    const auto write = [&](const QString& piece) { return written ? written(piece) : piece; };
    const QFontMetricsF metrics(font);
    const qsizetype size = text.size();
    if (size <= 2 * maxLineCharacters) {
        if (QString whole = write(text); metrics.horizontalAdvance(whole) <= width) {
            return whole;
        }
    }
    // The text can be cut only between two characters; of those, only the ones near either end can matter.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    QList<qsizetype> headEnds;
    for (qsizetype at = finder.toNextBoundary(); at > 0 && at < size && at <= maxLineCharacters;
         at = finder.toNextBoundary()) {
        headEnds.append(at);
    }
    QList<qsizetype> tailStarts;
    if (mode != Qt::ElideRight) {
        finder.toEnd();
        for (qsizetype at = finder.toPreviousBoundary(); at > 0 && size - at <= maxLineCharacters;
             at = finder.toPreviousBoundary()) {
            tailStarts.append(at);
        }
    }
    const QString mark(QChar(0x2026));
    // The text kept with n characters: the first ones alone at the end, else the first half and the last half.
    const auto kept = [&](qsizetype n) -> std::optional<QString> {
        const qsizetype head = mode == Qt::ElideRight ? n : (n + 1) / 2;
        const qsizetype tail = n - head;
        if (head > headEnds.size() || tail > tailStarts.size()) {
            return std::nullopt;
        }
        const qsizetype headEnd = head > 0 ? headEnds[head - 1] : 0;
        const qsizetype tailStart = tail > 0 ? tailStarts[tail - 1] : size;
        if (headEnd >= tailStart) {
            return std::nullopt;
        }
        return write(text.left(headEnd)) + mark + write(text.mid(tailStart));
    };
    // The most characters that fit, each one more only widening the line: found by doubling, then halving, so that
    // what is measured is never much longer than what shows, whatever the text's length.
    const auto fitsWith = [&](qsizetype n) {
        const std::optional<QString> line = kept(n);
        return line && metrics.horizontalAdvance(*line) <= width;
    };
    qsizetype fits = 0;
    qsizetype fails = 1;
    while (fitsWith(fails)) {
        fits = fails;
        fails *= 2;
    }
    while (fails - fits > 1) {
        const qsizetype middle = fits + (fails - fits) / 2;
        (fitsWith(middle) ? fits : fails) = middle;
    }
    return kept(fits).value_or(mark);
}

} // namespace murmeli::ui
