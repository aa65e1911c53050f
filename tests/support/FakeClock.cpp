#include "tests/support/FakeClock.h"

namespace murmeli::test {

FakeClock::FakeClock(QDateTime start) : m_start(std::move(start)) { }

QDateTime FakeClock::now() const
{
    return m_start.addMSecs(m_elapsedMs);
}

qint64 FakeClock::monotonicMs() const
{
    return m_elapsedMs - m_asleepMs;
}

qint64 FakeClock::continuousMs() const
{
    return m_elapsedMs;
}

common::Clock::TimerId FakeClock::schedule(qint64 ms, std::function<void()> fn)
{
    const TimerId id = m_nextId++;
    m_timers.emplace(std::make_pair(m_elapsedMs + std::max<qint64>(0, ms), id), std::move(fn));
    return id;
}

void FakeClock::cancel(TimerId id)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->first.second == id) {
            m_timers.erase(it);
            return;
        }
    }
}

void FakeClock::advance(qint64 ms)
{
    const qint64 target = m_elapsedMs + ms;
    while (!m_timers.empty() && m_timers.begin()->first.first <= target) {
        auto node = m_timers.extract(m_timers.begin());
        m_elapsedMs = std::max(m_elapsedMs.load(), node.key().first);
        node.mapped()();
    }
    m_elapsedMs = target;
}

void FakeClock::suspend(qint64 ms)
{
    m_elapsedMs += ms;
    m_asleepMs += ms;
}

void FakeClock::setNow(const QDateTime& when)
{
    m_start = when.addMSecs(-m_elapsedMs);
}

} // namespace murmeli::test
