#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "main/common/Clock.h"

namespace murmeli::device {

class BLEBridge;

/// What every device pusher needs around its pushes: a periodic tick, one-shot delays, and the link's state
/// notices (a push shortly after each connected notice, forgetting what was sent on every other). Everything runs
/// on the main thread on the injected clock, so pushes of one pusher never overlap. Leaving stops it all.
class PushDriver final {
public:
    PushDriver(BLEBridge& ble, common::Clock& clock);
    ~PushDriver();
    PushDriver(const PushDriver&) = delete;
    PushDriver& operator=(const PushDriver&) = delete;

    /// Registers with the link once more: on a connected notice push runs connectedDelayMs later, on any other
    /// notice forget runs at once.
    void watchLink(qint64 connectedDelayMs, std::function<void()> push, std::function<void()> forget);
    /// Starts the repeating tick unless it runs already.
    void startPeriodic(qint64 intervalMs, std::function<void()> tick);
    void stopPeriodic();
    bool periodicRunning() const { return m_periodic.has_value(); }
    /// Runs fn once, ms from now.
    void after(qint64 ms, std::function<void()> fn);

private:
    void schedulePeriodic();

    BLEBridge& m_ble;
    common::Clock& m_clock;
    std::set<common::Clock::TimerId> m_oneShots;
    std::optional<common::Clock::TimerId> m_periodic;
    qint64 m_intervalMs = 0;
    std::function<void()> m_tick;
    std::set<int> m_observers;
};

} // namespace murmeli::device
