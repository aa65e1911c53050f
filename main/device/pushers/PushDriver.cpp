#include "main/device/pushers/PushDriver.h"

#include "main/device/link/BLEBridge.h"

namespace murmeli::device {

PushDriver::PushDriver(BLEBridge& ble, common::Clock& clock) : m_ble(ble), m_clock(clock) { }

PushDriver::~PushDriver()
{
    for (const int observer : m_observers) {
        m_ble.removeStateObserver(observer);
    }
    stopPeriodic();
    for (const common::Clock::TimerId id : m_oneShots) {
        m_clock.cancel(id);
    }
}

void PushDriver::watchLink(qint64 connectedDelayMs, std::function<void()> push, std::function<void()> forget)
{
    m_observers.insert(m_ble.addStateObserver([this, connectedDelayMs, push, forget] {
        if (m_ble.isConnected()) {
            after(connectedDelayMs, push);
        } else if (forget) {
            forget();
        }
    }));
}

void PushDriver::startPeriodic(qint64 intervalMs, std::function<void()> tick)
{
    if (m_periodic) {
        return;
    }
    m_intervalMs = intervalMs;
    m_tick = std::move(tick);
    schedulePeriodic();
}

void PushDriver::stopPeriodic()
{
    if (m_periodic) {
        m_clock.cancel(*m_periodic);
        m_periodic.reset();
    }
}

void PushDriver::schedulePeriodic()
{
    m_periodic = m_clock.schedule(m_intervalMs, [this] {
        schedulePeriodic();
        m_tick();
    });
}

void PushDriver::after(qint64 ms, std::function<void()> fn)
{
    // The id is known only once schedule() returns, so the timer finds its own entry through a shared slot.
    auto slot = std::make_shared<common::Clock::TimerId>(0);
    *slot = m_clock.schedule(ms, [this, slot, fn = std::move(fn)] {
        m_oneShots.erase(*slot);
        fn();
    });
    m_oneShots.insert(*slot);
}

} // namespace murmeli::device
