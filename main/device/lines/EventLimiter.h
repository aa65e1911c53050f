#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "main/common/Clock.h"

namespace murmeli::device {

/// Spaces event lines that carry a summary: at most one every interval, and of a burst only the newest is sent
/// at the end of the interval; the others are dropped. Main thread only; time runs on the injected clock.
class EventLimiter final {
public:
    static constexpr qint64 defaultIntervalMs = 500;
    /// The held line waits at least this long, so the flush never fires inside the submit that scheduled it.
    static constexpr qint64 minimumWaitMs = 10;

    explicit EventLimiter(common::Clock& clock);
    ~EventLimiter();
    EventLimiter(const EventLimiter&) = delete;
    EventLimiter& operator=(const EventLimiter&) = delete;

    /// Where lines leave.
    std::function<void(const QString& line)> send;

    /// Sends the line now when the interval since the last one has passed, else holds it in place of any held one.
    void submit(const QString& line);

    qint64 intervalMs() const { return m_intervalMs; }
    void setIntervalMs(qint64 ms) { m_intervalMs = ms; }

private:
    void flush();
    void emitLine(const QString& line);

    common::Clock& m_clock;
    qint64 m_intervalMs = defaultIntervalMs;
    std::optional<qint64> m_lastSentAtMs;
    std::optional<QString> m_pendingLine;
    std::optional<common::Clock::TimerId> m_flushTimer;
};

} // namespace murmeli::device
