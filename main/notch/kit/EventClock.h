#pragma once

#include <functional>
#include <optional>

#include <QtGlobal>

namespace murmeli::notch {

/// Puts the display server's event times onto the panel's clock. The server stamps each event when it happens, in
/// milliseconds of its own that wrap at 2^32; the event is handled some time later, never earlier. The display's clock
/// is read against the panel's now and then, so that an event handled late keeps the time it happened, and neither a
/// stamp made up by another program nor a display clock that drifts from the panel's moves where any other event
/// lands. Without the display's clock an event is taken to have happened when it is handled.
class EventClock final {
public:
    /// The display's time now, on the scale of its stamps; none when it cannot say.
    using DisplayTime = std::function<std::optional<quint32>()>;
    /// How long one reading of the display's clock serves: two clocks drift apart by far less than a millisecond in it.
    static constexpr qint64 readingServesMs = 1000;
    /// A round trip to the display this short makes a reading good enough; otherwise up to readingAttempts are made.
    static constexpr qint64 quickReadingMs = 1;
    static constexpr int readingAttempts = 4;
    /// A reading that puts the events later than the one before it moves them by at most this much, and a hundredth
    /// of the time since that one (as far as two clocks drift apart): what a busy machine got wrong in a reading is
    /// put right bit by bit, so that no two events land further apart than they happened by more than that.
    static constexpr qint64 catchUpMs = 10;

    EventClock() = default;
    /// displayTime reads the display's clock, panelTime the panel's.
    EventClock(DisplayTime displayTime, std::function<qint64()> panelTime)
        : m_displayTime(std::move(displayTime)), m_panelTime(std::move(panelTime))
    {
    }

    /// The time on the panel's clock of an event the display stamped stampMs and that is handled at nowMs. An event
    /// whose stamp cannot be its time (none, 0, or one after the event was handled) happened no earlier than the last
    /// event whose stamp could be believed, and is taken to have happened then: what it decides it decides as early
    /// as it can have happened.
    qint64 map(quint64 stampMs, qint64 nowMs)
    {
        if (!m_displayTime) {
            return nowMs;
        }
        // The display stamps with 32 bits; a larger number is not one of its stamps.
        if (stampMs != 0 && stampMs <= 0xffffffffU) {
            const auto stamp = static_cast<quint32>(stampMs);
            if (!m_reading || nowMs - m_reading->takenAtMs >= readingServesMs) {
                read(nowMs);
            }
            std::optional<qint64> at = place(stamp);
            if (at && *at > nowMs) {
                // The display's clock may have run ahead of the panel's since it was read.
                read(nowMs);
                at = place(stamp);
            }
            if (at && *at <= nowMs) {
                m_lastMs = std::max(m_lastMs.value_or(*at), *at);
                return *at;
            }
        }
        return m_lastMs ? std::min(*m_lastMs, nowMs) : nowMs;
    }

private:
    struct Reading {
        quint32 displayMs = 0;
        /// The panel's time just before the display was asked: what the display said was true no earlier.
        qint64 panelMs = 0;
        qint64 takenAtMs = 0;
    };

    void read(qint64 nowMs)
    {
        // A reading is as good as its round trip is short: a busy machine that stalls between the two clocks puts
        // every event early by as much. The shortest of a few serves.
        std::optional<qint64> took;
        std::optional<Reading> fresh;
        for (int attempt = 0; attempt < readingAttempts && (!took || *took > quickReadingMs); ++attempt) {
            const qint64 before = m_panelTime ? m_panelTime() : nowMs;
            const std::optional<quint32> display = m_displayTime();
            const qint64 after = m_panelTime ? m_panelTime() : nowMs;
            if (!display) {
                break;
            }
            if (!took || after - before < *took) {
                took = after - before;
                fresh = Reading { *display, before, nowMs };
            }
        }
        if (fresh && m_reading) {
            // How much later the fresh reading puts an event than the last one did.
            const qint64 later
                = fresh->panelMs - m_reading->panelMs - static_cast<qint32>(fresh->displayMs - m_reading->displayMs);
            const qint64 allowed = catchUpMs + (nowMs - m_reading->takenAtMs) / 100;
            if (later > allowed) {
                fresh->panelMs -= later - allowed;
            }
        }
        if (fresh) {
            m_reading = fresh;
        }
    }
    std::optional<qint64> place(quint32 stamp) const
    {
        if (!m_reading) {
            return std::nullopt;
        }
        // The difference of two stamps is right across a wrap.
        return m_reading->panelMs + static_cast<qint32>(stamp - m_reading->displayMs);
    }

    DisplayTime m_displayTime;
    std::function<qint64()> m_panelTime;
    std::optional<Reading> m_reading;
    /// When the last event whose stamp could be believed happened.
    std::optional<qint64> m_lastMs;
};

} // namespace murmeli::notch
