#pragma once

#include <QRegularExpression>
#include <QString>
#include <QTextBoundaryFinder>

namespace murmeli::test {

/// Whether shown is whole, or whole cut only between user-perceived characters: its beginning up to a "…" (to the
/// end of shown where it has no mark) and its end after the mark.
inline bool cutBetweenCharacters(const QString& whole, const QString& shown)
{
    const auto between = [&](qsizetype at) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, whole);
        finder.setPosition(at);
        return finder.isAtBoundary();
    };
    const qsizetype mark = shown.indexOf(QChar(0x2026));
    const QString head = mark < 0 ? shown : shown.left(mark);
    const QString tail = mark < 0 ? QString() : shown.mid(mark + 1);
    return whole.startsWith(head) && whole.endsWith(tail) && between(head.size()) && between(whole.size() - tail.size());
}

/// Whether the text holds a character that would hide or reorder what follows it: a control, a bidirectional
/// mark, embedding, override or isolate, or a zero-width character.
inline bool holdsLiveControls(const QString& text)
{
    static const QRegularExpression live(
        QStringLiteral("[\\x{0}-\\x{1f}\\x{7f}-\\x{9f}\\x{200b}-\\x{200f}\\x{2028}-\\x{202e}\\x{2066}-\\x{2069}]"));
    return live.match(text).hasMatch();
}

} // namespace murmeli::test
