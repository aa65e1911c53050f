#pragma once

#include <atomic>
#include <map>
#include <utility>

#include "main/common/Clock.h"

namespace murmeli::test {

/// A clock that stands still until advance(); due timers fire in time order, on the caller's thread. suspend()
/// models the machine sleeping: wall and continuous time move on, the monotonic scale does not, and nothing fires
/// until the next advance() (the wake). The time scales may be read from any thread, as a worker thread does.
class FakeClock final : public common::Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC));

    QDateTime now() const override;
    qint64 monotonicMs() const override;
    qint64 continuousMs() const override;
    TimerId schedule(qint64 ms, std::function<void()> fn) override;
    void cancel(TimerId id) override;

    /// Moves time forward, firing every timer that falls due on the way (timers scheduled by a firing timer too).
    void advance(qint64 ms);
    /// Sleeps for ms: time moves on without firing anything; advance(0) then is the wake.
    void suspend(qint64 ms);
    void setNow(const QDateTime& when);
    int pendingTimers() const { return static_cast<int>(m_timers.size()); }

private:
    QDateTime m_start;
    std::atomic<qint64> m_elapsedMs = 0; // continuous
    std::atomic<qint64> m_asleepMs = 0;
    TimerId m_nextId = 1;
    // Keyed by (due time, id) so timers due together fire in scheduling order.
    std::map<std::pair<qint64, TimerId>, std::function<void()>> m_timers;
};

} // namespace murmeli::test
