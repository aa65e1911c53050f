#include "main/common/Log.h"

#include <algorithm>
#include <atomic>

#include <QDateTime>

#include <unistd.h>

#include "main/common/LogWriter.h"

namespace murmeli::common {

QString toString(LogColor color)
{
    switch (color) {
    case LogColor::Grey:
        return QStringLiteral("info");
    case LogColor::Blue:
        return QStringLiteral("diag");
    case LogColor::Orange:
        return QStringLiteral("warn");
    case LogColor::Red:
        return QStringLiteral("error");
    case LogColor::Purple:
        return QStringLiteral("voice");
    case LogColor::Green:
        return QStringLiteral("ready");
    }
    return QStringLiteral("info");
}

namespace {

// C0 controls, DEL, the C1 controls (a terminal may read U+009B as the start of a sequence), the two Unicode line
// breaks, and the characters that draw nothing yet change how the text around them reads: the soft hyphen, the
// bidirectional marks, embeddings, overrides and isolates, the zero-width characters and the byte order mark.
bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == 0x00ad || c == 0x061c
        || c == 0x180e || (c >= 0x200b && c <= 0x200f) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2060 && c <= 0x2069)
        || c == 0xfeff;
}

} // namespace

QString escapeLogText(const QString& message)
{
    if (std::none_of(message.begin(), message.end(), [](QChar c) { return needsEscape(c.unicode()); })) {
        return message;
    }
    QString escaped;
    escaped.reserve(message.size() + 16);
    for (const QChar c : message) {
        const char16_t code = c.unicode();
        if (!needsEscape(code)) {
            escaped += c;
        } else if (code == u'\n') {
            escaped += QStringLiteral("\\n");
        } else if (code == u'\r') {
            escaped += QStringLiteral("\\r");
        } else if (code == u'\t') {
            escaped += QStringLiteral("\\t");
        } else if (code < 0x80) {
            escaped += QStringLiteral("\\x%1").arg(static_cast<uint>(code), 2, 16, QLatin1Char('0'));
        } else {
            escaped += QStringLiteral("\\u%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0'));
        }
    }
    return escaped;
}

QString formatLogLine(const QDateTime& when, const QString& message, LogColor color)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1Char(' ')
        + toString(color).leftJustified(5) + QLatin1Char(' ') + escapeLogText(message);
}

namespace {

// Set once the writer exists, so that a flush at the end starts no thread for a log nobody wrote to.
std::atomic<LogWriter*> startedWriter { nullptr };

LogWriter& stderrWriter()
{
    // Never destroyed: at exit its thread may still be blocked on a reader that stopped reading.
    static LogWriter* const writer = [] {
        auto* made = new LogWriter(STDERR_FILENO, ::isatty(STDERR_FILENO) == 1);
        startedWriter.store(made);
        return made;
    }();
    return *writer;
}

} // namespace

void writeToStderr(const QString& message, LogColor color)
{
    stderrWriter().write(message, color);
}

bool flushStderr(int timeoutMs)
{
    LogWriter* const writer = startedWriter.load();
    return writer == nullptr || writer->flush(timeoutMs);
}

} // namespace murmeli::common
