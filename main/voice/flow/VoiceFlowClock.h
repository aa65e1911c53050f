#pragma once

#include <functional>

#include <QtGlobal>

namespace murmeli::common {
class Clock;
}

namespace murmeli::voice {

/// The voice flow's time: a reading and one-shot timers, replaceable so the flow runs without real time.
struct VoiceFlowClock final {
    using Cancel = std::function<void()>;

    /// Milliseconds on a monotonic scale; only differences mean something.
    std::function<qint64()> nowMs;
    /// Runs action once after ms on the main thread; the returned function cancels it (a cancelled one never runs).
    std::function<Cancel(qint64 ms, std::function<void()> action)> schedule;

    /// Both over clock, which must outlive every timer scheduled through it.
    static VoiceFlowClock over(common::Clock& clock);
};

} // namespace murmeli::voice
