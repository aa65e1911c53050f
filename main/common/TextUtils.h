#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Text helpers that count what a person sees (grapheme clusters) rather than UTF-16 units, and cut UTF-8 safely.
namespace murmeli::common::text {

/// Number of user-perceived characters; "e" plus a combining accent, or a joined emoji family, counts as one.
int characterCount(const QString& text);

/// The first n user-perceived characters; "" for n <= 0, the whole text when it has no more than n.
QString prefixCharacters(const QString& text, int n);

/// The text itself when it fits in limit characters, else its first limit - 1 characters and "…"; "" for limit <= 0.
QString truncateWithEllipsis(const QString& text, int limit);

/// The UTF-8 form of text cut to at most maxBytes bytes between two user-perceived characters, so that no emoji or
/// accented letter loses a part.
QByteArray truncateUtf8(const QString& text, int maxBytes);

/// UTF-8 bytes cut to at most maxBytes bytes at the start of a Unicode scalar; "" for maxBytes <= 0.
QByteArray truncateUtf8Bytes(const QByteArray& utf8, int maxBytes);

/// What visible does with line breaks and tabs: a text of several lines keeps them, a name on one line shows them as
/// escapes too.
enum class Breaks { Keep, Escape };

/// The text with every character that is invisible or steers how the text around it reads (controls, bidirectional
/// embeddings, overrides and isolates, zero-width characters) written as a visible escape such as \u202e.
QString visible(const QString& text, Breaks breaks = Breaks::Keep);

/// Removes spaces and tabs (never newlines) from both ends.
QString trimSpacesAndTabs(const QString& text);

/// Removes spaces and tabs from the start only.
QString trimLeadingSpacesAndTabs(const QString& text);

/// Removes spaces and tabs from the end only.
QString trimTrailingSpacesAndTabs(const QString& text);

/// The last component of a slash-separated path, ignoring trailing slashes: "/a/b/" gives "b", "/" gives "/".
QString lastPathComponent(const QString& path);

/// The bytes as text, or nullopt when they are not valid UTF-8.
std::optional<QString> decodeUtf8Strictly(const QByteArray& bytes);

/// A whole decimal number with an optional sign and nothing else around it (no blanks), or nullopt.
std::optional<qint64> strictInteger(const QByteArray& text);

/// The text split at every line-break character (LF, VT, FF, CR, NEL, U+2028, U+2029), empty pieces dropped.
QStringList nonEmptyLines(const QString& text);

} // namespace murmeli::common::text
