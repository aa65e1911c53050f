#pragma once

#include <functional>
#include <utility>

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

/// A callback its owner may leave unset: calling an unset one does nothing. Components call their sinks (onLog, ...)
/// directly, so none of them keeps a forwarding function of its own that checks first.
template <typename... Args> class Sink final : public std::function<void(Args...)> {
public:
    using Function = std::function<void(Args...)>;
    using Function::Function;
    Sink() = default;
    // Implicit, so a plain std::function is taken where a sink is expected, as it was before sinks checked.
    Sink(Function function) : Function(std::move(function)) { }

    void operator()(Args... args) const
    {
        if (*this) {
            Function::operator()(std::forward<Args>(args)...);
        }
    }
};

/// One log sink crosses all subsystems: a message and its colour.
using LogSink = Sink<const QString&, LogColor>;
/// The sink of a component whose owner picks the colour of its lines.
using LineSink = Sink<const QString&>;

/// The message with every control character, and every invisible one that reorders or hides the text around it,
/// written as a visible escape (\n, \x1b, \u0085, \u2028, \u202e), so that text from outside can neither start a
/// line of its own, nor steer a terminal that shows the log, nor make a line read as something else. Every place that
/// shows log messages goes through this.
QString escapeLogText(const QString& message);

/// Formats one line as it is printed on standard error: local time stamp, level word, escaped message.
QString formatLogLine(const QDateTime& when, const QString& message, LogColor color);

/// Queues one line for standard error (coloured when it is a terminal); safe from any thread and never waits for
/// the reader. Lines that find the queue full are dropped and counted.
void writeToStderr(const QString& message, LogColor color);

/// Waits up to timeoutMs for the lines queued for standard error to be written; whether they were.
bool flushStderr(int timeoutMs);

} // namespace murmeli::common
