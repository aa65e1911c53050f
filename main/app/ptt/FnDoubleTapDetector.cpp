#include "main/app/ptt/FnDoubleTapDetector.h"

#include <utility>

namespace murmeli::app {

void FnDoubleTapDetector::handleFlagsChanged(const FlagsChange& change)
{
    const bool wasDown = std::exchange(m_fnDown, change.fnDown);
    if (enabled && !enabled()) {
        m_phase = Phase::Idle;
        return;
    }
    // Fn as part of a chord (Fn+Shift and the like) is no tap.
    if (change.otherModifiers) {
        m_phase = Phase::Idle;
        return;
    }
    if (change.fnDown == wasDown) {
        return;
    }
    const qint64 sincePhase = change.timestampMs - m_phaseStartMs;
    if (change.fnDown) {
        if (m_phase == Phase::FirstUp && sincePhase <= maxGapMs) {
            m_phase = Phase::Idle;
            if (onDoubleTap) {
                onDoubleTap();
            }
            return;
        }
        m_phase = Phase::FirstDown;
        m_phaseStartMs = change.timestampMs;
        return;
    }
    if (m_phase == Phase::FirstDown && sincePhase <= maxTapMs) {
        m_phase = Phase::FirstUp;
        m_phaseStartMs = change.timestampMs;
    } else {
        m_phase = Phase::Idle;
    }
}

void FnDoubleTapDetector::handleOtherKey()
{
    m_phase = Phase::Idle;
}

} // namespace murmeli::app
