#pragma once

#include "tests/support/DesktopLock.h"

namespace murmeli::test {

/// Holds the test desktop's speaker for as long as it lives. Tests that play a sound into the speaker and listen for
/// it on the microphone take it, because another test's sound would mix into theirs.
class SpeakerLock final : public DesktopLock {
public:
    /// Waits up to timeoutMs for the test that holds the speaker.
    explicit SpeakerLock(int timeoutMs = 120000) : DesktopLock(DesktopLock::speaker, timeoutMs) { }
};

} // namespace murmeli::test
