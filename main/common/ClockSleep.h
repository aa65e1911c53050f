#pragma once

#include <QtGlobal>

#include <QCoroTask>

namespace murmeli::common {

class Clock;

/// Resumes after ms milliseconds on clock, on the event loop of the thread that waits; a negative time is none.
/// The clock must outlive the wait.
QCoro::Task<> sleepFor(Clock& clock, qint64 ms);
/// The same in seconds, rounded to the millisecond; a time that is not finite is none.
QCoro::Task<> sleepSeconds(Clock& clock, double seconds);

} // namespace murmeli::common
