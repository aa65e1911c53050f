#pragma once

#include <cstdint>
#include <functional>

#include <QDateTime>

namespace murmeli::common {

/// Time source and one-shot timers, injected so that time-driven logic is tested without sleeping.
class Clock {
public:
    using TimerId = std::uint64_t;

    Clock() = default;
    virtual ~Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    /// Wall-clock time now.
    virtual QDateTime now() const = 0;
    /// Milliseconds on a monotonic scale that stands still while the machine sleeps; only differences are meaningful.
    virtual qint64 monotonicMs() const = 0;
    /// Milliseconds on a monotonic scale that keeps counting while the machine sleeps; only differences are
    /// meaningful.
    virtual qint64 continuousMs() const = 0;
    /// Runs fn once, on the calling thread's event loop, when ms milliseconds have passed on the continuous scale;
    /// a time that passes while the machine sleeps fires at the wake. Returns an id for cancel().
    virtual TimerId schedule(qint64 ms, std::function<void()> fn) = 0;
    /// Cancels a scheduled timer; unknown or already fired ids are ignored.
    virtual void cancel(TimerId id) = 0;
};

/// The real clock: wall time, the steady and the boot-time clocks, and timers on the boot-time clock.
class SystemClock final : public Clock {
public:
    using ContinuousSource = std::function<qint64()>;

    /// How long a timer sleeps at most before it looks at the continuous scale again.
    static constexpr qint64 maxSliceMs = 1000;

    /// continuousSource reads the continuous scale; empty means the system's boot-time clock.
    explicit SystemClock(ContinuousSource continuousSource = {});
    ~SystemClock() override;

    /// Milliseconds since boot, time asleep included.
    static qint64 bootTimeMs();

    QDateTime now() const override;
    qint64 monotonicMs() const override;
    qint64 continuousMs() const override;
    TimerId schedule(qint64 ms, std::function<void()> fn) override;
    void cancel(TimerId id) override;

private:
    struct Impl;
    Impl* m_impl = nullptr;
};

} // namespace murmeli::common
