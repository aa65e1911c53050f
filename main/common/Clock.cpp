#include "main/common/Clock.h"

#include <chrono>
#include <unordered_map>

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace murmeli::common {

struct SystemClock::Impl {
    TimerId nextId = 1;
    std::unordered_map<TimerId, QPointer<QTimer>> timers;
};

SystemClock::SystemClock() : m_impl(new Impl) { }

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

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Clock::TimerId SystemClock::schedule(qint64 ms, std::function<void()> fn)
{
    const TimerId id = m_impl->nextId++;
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    Impl* impl = m_impl;
    QObject::connect(timer, &QTimer::timeout, timer, [impl, id, timer, fn = std::move(fn)] {
        impl->timers.erase(id);
        timer->deleteLater();
        fn();
    });
    m_impl->timers.emplace(id, timer);
    timer->start(static_cast<int>(std::max<qint64>(0, ms)));
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
