#pragma once

#include <functional>

#include <QRegularExpression>
#include <QString>
#include <QTextBoundaryFinder>

namespace murmeli::test {

/// Whether shown is whole, or whole cut only between user-perceived characters: its beginning up to a "…" (to the
/// end of shown where it has no mark) and its end after the mark; each written as written writes it, when given.
inline bool cutBetweenCharacters(
    const QString& whole, const QString& shown, const std::function<QString(const QString&)>& written = {})
{
    const auto write = [&](const QString& piece) { return written ? written(piece) : piece; };
    const qsizetype mark = shown.indexOf(QChar(0x2026));
    const QString head = mark < 0 ? shown : shown.left(mark);
    const QString tail = mark < 0 ? QString() : shown.mid(mark + 1);
    bool headFound = false;
    bool tailFound = tail.isEmpty();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, whole);
    for (qsizetype at = 0; at >= 0; at = finder.toNextBoundary()) {
        headFound = headFound || write(whole.left(at)) == head;
        tailFound = tailFound || write(whole.mid(at)) == tail;
    }
    return headFound && tailFound;
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
