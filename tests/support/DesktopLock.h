#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>

namespace murmeli::test {

/// Holds one shared part of the test desktop for as long as it lives. Tests run in parallel on one desktop, so a
/// test that needs a part to itself (the speaker, the keyboard focus) takes its lock. The lock file sits in the
/// desktop's own runtime folder, so separate desktops do not wait for each other.
class DesktopLock {
public:
    /// The keyboard, the focus and the active window, the global key grabs, the clipboard and the selection: taken
    /// by tests that type, paste, grab keys, open windows or read what another program copied.
    static constexpr char keyboardAndClipboard[] = "keyboard";
    /// The speaker and the microphone fed from it.
    static constexpr char speaker[] = "speaker";

    /// Waits up to timeoutMs for the test that holds the part. The panel's tables of a person's moves hold the
    /// keyboard for three minutes running at most, so the wait outlasts them and still ends inside a test's time.
    explicit DesktopLock(const char* part, int timeoutMs = 280000)
        : m_file(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR", QDir::tempPath()))
                     .filePath(QStringLiteral("murmeli-test-%1.lock").arg(QLatin1String(part))))
    {
        // A long test holds it for longer than Qt's default stale time; a holder that died is found by its pid.
        m_file.setStaleLockTime(0);
        m_held = m_file.tryLock(timeoutMs);
    }

    bool isHeld() const { return m_held; }

private:
    QLockFile m_file;
    bool m_held = false;
};

} // namespace murmeli::test
