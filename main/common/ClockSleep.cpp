#include "main/common/ClockSleep.h"

#include <cmath>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"

namespace murmeli::common {

QCoro::Task<> sleepFor(Clock& clock, qint64 ms)
{
    OneShot<bool> woken;
    clock.schedule(qMax<qint64>(ms, 0), [woken]() mutable { woken.fulfil(true); });
    co_await woken;
}

QCoro::Task<> sleepSeconds(Clock& clock, double seconds)
{
    return sleepFor(clock, std::isfinite(seconds) ? static_cast<qint64>(std::llround(seconds * 1000.0)) : 0);
}

} // namespace murmeli::common
