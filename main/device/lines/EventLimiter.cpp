#include "main/device/lines/EventLimiter.h"

#include <algorithm>
#include <utility>

namespace murmeli::device {

EventLimiter::EventLimiter(common::Clock& clock) : m_clock(clock) { }

EventLimiter::~EventLimiter()
{
    if (m_flushTimer) {
        m_clock.cancel(*m_flushTimer);
    }
}

void EventLimiter::submit(const QString& line)
{
    const qint64 now = m_clock.monotonicMs();
    if (m_lastSentAtMs && now - *m_lastSentAtMs < m_intervalMs) {
        m_pendingLine = line;
        if (!m_flushTimer) {
            const qint64 wait = std::max(m_intervalMs - (now - *m_lastSentAtMs), minimumWaitMs);
            m_flushTimer = m_clock.schedule(wait, [this] {
                m_flushTimer.reset();
                flush();
            });
        }
        return;
    }
    m_lastSentAtMs = now;
    emitLine(line);
}

void EventLimiter::flush()
{
    const std::optional<QString> line = std::exchange(m_pendingLine, std::nullopt);
    m_lastSentAtMs = m_clock.monotonicMs();
    if (line) {
        emitLine(*line);
    }
}

void EventLimiter::emitLine(const QString& line)
{
    if (send) {
        send(line);
    }
}

} // namespace murmeli::device
