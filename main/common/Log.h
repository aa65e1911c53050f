#pragma once

#include <functional>

#include <QDateTime>
#include <QString>

namespace murmeli::common {

/// The colour of a log line carries its level.
enum class LogColor {
    Grey, // routine
    Blue, // diagnostics
    Orange, // warnings
    Red, // errors
    Purple, // voice results
    Green, // ready
};

QString toString(LogColor color);

/// One log sink crosses all subsystems: a message and its colour.
using LogSink = std::function<void(const QString& message, LogColor color)>;

/// Formats one line as it is printed on standard error: local time stamp, level word, message.
QString formatLogLine(const QDateTime& when, const QString& message, LogColor color);

/// Writes one line to standard error (coloured when it is a terminal); safe from any thread.
void writeToStderr(const QString& message, LogColor color);

} // namespace murmeli::common
