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
    /// Milliseconds on a monotonic scale; only differences are meaningful.
    virtual qint64 monotonicMs() const = 0;
    /// Runs fn once after ms milliseconds on the calling thread's event loop; returns an id for cancel().
    virtual TimerId schedule(qint64 ms, std::function<void()> fn) = 0;
    /// Cancels a scheduled timer; unknown or already fired ids are ignored.
    virtual void cancel(TimerId id) = 0;
};

/// The real clock: wall time, a steady clock, and QTimer single shots.
class SystemClock final : public Clock {
public:
    SystemClock();
    ~SystemClock() override;

    QDateTime now() const override;
    qint64 monotonicMs() const override;
    TimerId schedule(qint64 ms, std::function<void()> fn) override;
    void cancel(TimerId id) override;

private:
    struct Impl;
    Impl* m_impl = nullptr;
};

} // namespace murmeli::common
