#include "main/common/TextUtils.h"

#include <algorithm>

#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include "main/common/Log.h"

namespace murmeli::common::text {

namespace {

// Position just after the first n grapheme clusters, or -1 when the text holds fewer than n.
// Stops early so that a short limit on a long text does not segment all of it.
qsizetype boundaryAfter(const QString& text, int n)
{
    if (n <= 0) {
        return 0;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype position = 0;
    for (int i = 0; i < n; ++i) {
        position = finder.toNextBoundary();
        if (position < 0) {
            return -1;
        }
    }
    return position;
}

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

int characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() >= 0) {
        ++count;
    }
    return count;
}

QString prefixCharacters(const QString& text, int n)
{
    if (n <= 0) {
        return {};
    }
    const qsizetype end = boundaryAfter(text, n);
    return end < 0 ? text : text.left(end);
}

QString truncateWithEllipsis(const QString& text, int limit)
{
    if (limit <= 0) {
        return {};
    }
    if (boundaryAfter(text, limit + 1) < 0) {
        return text;
    }
    return prefixCharacters(text, limit - 1) + QChar(0x2026);
}

QByteArray truncateUtf8(const QString& text, int maxBytes)
{
    if (maxBytes <= 0) {
        return {};
    }
    // Every UTF-16 unit becomes at least one UTF-8 byte, so maxBytes units always suffice; keep a surrogate
    // pair whole so the cut never turns half of it into a replacement character.
    qsizetype units = std::min<qsizetype>(text.size(), maxBytes);
    if (units < text.size() && text.at(units - 1).isHighSurrogate()) {
        ++units;
    }
    QByteArray cut = truncateUtf8Bytes(text.left(units).toUtf8(), maxBytes);
    const qsizetype kept = QString::fromUtf8(cut).size();
    if (kept >= text.size()) {
        return cut;
    }
    // Whether a character ends at the cut depends on what comes before it and on the one character after it.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.left(kept + 2));
    finder.setPosition(kept);
    if (finder.isAtBoundary()) {
        return cut;
    }
    return text.left(std::max<qsizetype>(finder.toPreviousBoundary(), 0)).toUtf8();
}

QByteArray truncateUtf8Bytes(const QByteArray& utf8, int maxBytes)
{
    if (maxBytes <= 0) {
        return {};
    }
    if (utf8.size() <= maxBytes) {
        return utf8;
    }
    qsizetype cut = maxBytes;
    // A scalar is at most four bytes, so on malformed input we never back off further than three.
    for (int step = 0; step < 3 && cut > 0 && isContinuationByte(utf8.at(cut)); ++step) {
        --cut;
    }
    return utf8.left(cut);
}

QString visible(const QString& text, Breaks breaks)
{
    if (breaks == Breaks::Escape) {
        return escapeLogText(text);
    }
    // Line breaks and tabs stay; the log's escapes take care of what lies between them.
    QString shown;
    shown.reserve(text.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text.at(i) == u'\n' || text.at(i) == u'\t') {
            shown += escapeLogText(text.mid(runStart, i - runStart));
            if (i < text.size()) {
                shown += text.at(i);
            }
            runStart = i + 1;
        }
    }
    return shown;
}

QString trimLeadingSpacesAndTabs(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && isSpaceOrTab(text.at(start))) {
        ++start;
    }
    return text.mid(start);
}

QString trimTrailingSpacesAndTabs(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && isSpaceOrTab(text.at(end - 1))) {
        --end;
    }
    return text.left(end);
}

QString trimSpacesAndTabs(const QString& text)
{
    return trimLeadingSpacesAndTabs(trimTrailingSpacesAndTabs(text));
}

QString lastPathComponent(const QString& path)
{
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == QLatin1Char('/')) {
        --end;
    }
    if (end == 0) {
        return path.isEmpty() ? QString() : QStringLiteral("/");
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

std::optional<QString> decodeUtf8Strictly(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

QStringList nonEmptyLines(const QString& text)
{
    const auto isLineBreak = [](QChar c) {
        switch (c.unicode()) {
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x85:
        case 0x2028:
        case 0x2029:
            return true;
        default:
            return false;
        }
    };
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isLineBreak(text[i])) {
            if (i > start) {
                lines.append(text.mid(start, i - start));
            }
            start = i + 1;
        }
    }
    return lines;
}

std::optional<qint64> strictInteger(const QByteArray& text)
{
    const qsizetype digitsFrom = (text.startsWith('+') || text.startsWith('-')) ? 1 : 0;
    if (digitsFrom == text.size()) {
        return std::nullopt;
    }
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

} // namespace murmeli::common::text
