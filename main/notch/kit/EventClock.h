#pragma once

#include <optional>

#include <QtGlobal>

namespace murmeli::notch {

/// Puts the display server's event times onto the panel's clock. The server stamps each event when it happens, in
/// milliseconds of its own; an event is handled some time later, never earlier. The quickest event handled so far shows
/// how the two scales lie against each other, so an event handled late by a busy machine keeps the time it happened.
class EventClock final {
public:
    /// An event that seems to have happened longer ago than this is taken as a sign that the server's scale jumped
    /// (it wraps after 49 days, or was restarted): its scale is learnt again from that event.
    static constexpr qint64 longestLateMs = 30'000;

    /// The time on the panel's clock of an event the server stamped stampMs and that is handled at nowMs; an event
    /// without a stamp (0) happened now.
    qint64 map(quint64 stampMs, qint64 nowMs)
    {
        if (stampMs == 0) {
            return nowMs;
        }
        const qint64 stamp = static_cast<qint64>(stampMs);
        const qint64 offset = nowMs - stamp;
        if (!m_offset || offset < *m_offset || offset - *m_offset > longestLateMs) {
            m_offset = offset;
        }
        return stamp + *m_offset;
    }

private:
    std::optional<qint64> m_offset;
};

} // namespace murmeli::notch
