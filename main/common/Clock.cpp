#include "main/common/Clock.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <time.h>

namespace murmeli::common {

struct SystemClock::Impl {
    ContinuousSource continuous;
    TimerId nextId = 1;
    std::unordered_map<TimerId, QPointer<QTimer>> timers;
};

SystemClock::SystemClock(ContinuousSource continuousSource) : m_impl(new Impl)
{
    m_impl->continuous = continuousSource ? std::move(continuousSource) : ContinuousSource(&SystemClock::bootTimeMs);
}

SystemClock::~SystemClock()
{
    for (auto& [id, timer] : m_impl->timers) {
        if (timer) {
            timer->stop();
            timer->deleteLater();
        }
    }
    delete m_impl;
}

qint64 SystemClock::bootTimeMs()
{
    timespec now {};
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        // Without a boot-time clock, time asleep goes uncounted rather than the clock going wrong.
        clock_gettime(CLOCK_MONOTONIC, &now);
    }
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 SystemClock::continuousMs() const
{
    return m_impl->continuous();
}

Clock::TimerId SystemClock::schedule(qint64 ms, std::function<void()> fn)
{
    const TimerId id = m_impl->nextId++;
    const qint64 deadline = continuousMs() + std::max<qint64>(0, ms);
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    Impl* impl = m_impl;
    // A QTimer counts only time awake, so it sleeps in short slices and each time asks the continuous scale
    // whether the deadline has passed; after a suspend the timer fires within one slice of the wake.
    QObject::connect(timer, &QTimer::timeout, timer, [impl, id, timer, deadline, fn = std::move(fn)] {
        const qint64 remaining = deadline - impl->continuous();
        if (remaining > 0) {
            timer->start(static_cast<int>(std::min(remaining, maxSliceMs)));
            return;
        }
        impl->timers.erase(id);
        timer->deleteLater();
        fn();
    });
    m_impl->timers.emplace(id, timer);
    timer->start(static_cast<int>(std::clamp<qint64>(ms, 0, maxSliceMs)));
    return id;
}

void SystemClock::cancel(TimerId id)
{
    const auto it = m_impl->timers.find(id);
    if (it == m_impl->timers.end()) {
        return;
    }
    if (it->second) {
        it->second->stop();
        it->second->deleteLater();
    }
    m_impl->timers.erase(it);
}

} // namespace murmeli::common
