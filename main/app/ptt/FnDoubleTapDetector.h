#pragma once

#include <functional>

#include <QtGlobal>

namespace murmeli::app {

/// Turns the Fn key's modifier changes into double taps: Fn pressed and released quickly, then pressed again soon
/// after, with no other modifier or key in between. The second press is the double tap. Main thread only.
///
/// Nothing feeds it on X11: the Fn key's code lies above the 255 keycodes X carries and most keyboards handle Fn in
/// their firmware, so the key is never seen. The detector stays for backends that do see it.
class FnDoubleTapDetector final {
public:
    /// A press held longer than this is not a tap.
    static constexpr qint64 maxTapMs = 300;
    /// The second press must come this soon after the first release.
    static constexpr qint64 maxGapMs = 400;

    /// One change of the modifier keys.
    struct FlagsChange final {
        qint64 timestampMs = 0;
        bool fnDown = false;
        /// Shift, Control, Alt or Super is held as well.
        bool otherModifiers = false;
    };

    /// Read at every change, so switching it takes effect at once; unset counts as on.
    std::function<bool()> enabled;
    std::function<void()> onDoubleTap;

    void handleFlagsChanged(const FlagsChange& change);
    /// Any other key pressed: a tap pattern in progress is broken.
    void handleOtherKey();

private:
    enum class Phase { Idle, FirstDown, FirstUp };

    Phase m_phase = Phase::Idle;
    qint64 m_phaseStartMs = 0;
    bool m_fnDown = false;
};

} // namespace murmeli::app
