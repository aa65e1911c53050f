#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>

namespace murmeli::test {

/// Holds the test desktop's speaker for as long as it lives. Tests that play a sound into the speaker and listen for
/// it on the microphone take it, because tests run in parallel and another test's sound would mix into theirs. The
/// lock file sits in the desktop's own runtime folder, so separate desktops do not wait for each other.
class SpeakerLock final {
public:
    /// Waits up to timeoutMs for the test that holds the speaker.
    explicit SpeakerLock(int timeoutMs = 120000)
        : m_file(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR", QDir::tempPath()))
                     .filePath(QStringLiteral("murmeli-test-speaker.lock")))
    {
        // A long take holds it for longer than Qt's default stale time; a holder that died is found by its pid.
        m_file.setStaleLockTime(0);
        m_held = m_file.tryLock(timeoutMs);
    }

    bool isHeld() const { return m_held; }

private:
    QLockFile m_file;
    bool m_held = false;
};

} // namespace murmeli::test
