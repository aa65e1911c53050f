#include "main/common/Log.h"

#include <cstdio>
#include <mutex>

#include <QDateTime>

#include <unistd.h>

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

QString formatLogLine(const QDateTime& when, const QString& message, LogColor color)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1Char(' ')
        + toString(color).leftJustified(5) + QLatin1Char(' ') + message;
}

namespace {

const char* ansiFor(LogColor color)
{
    switch (color) {
    case LogColor::Grey:
        return "\x1b[90m";
    case LogColor::Blue:
        return "\x1b[34m";
    case LogColor::Orange:
        return "\x1b[33m";
    case LogColor::Red:
        return "\x1b[31m";
    case LogColor::Purple:
        return "\x1b[35m";
    case LogColor::Green:
        return "\x1b[32m";
    }
    return "";
}

} // namespace

void writeToStderr(const QString& message, LogColor color)
{
    static const bool tty = ::isatty(STDERR_FILENO) == 1;
    static std::mutex mutex;
    const QByteArray line = formatLogLine(QDateTime::currentDateTime(), message, color).toUtf8();
    const std::lock_guard lock(mutex);
    if (tty) {
        std::fprintf(stderr, "%s%s\x1b[0m\n", ansiFor(color), line.constData());
    } else {
        std::fprintf(stderr, "%s\n", line.constData());
    }
    std::fflush(stderr);
}

} // namespace murmeli::common
