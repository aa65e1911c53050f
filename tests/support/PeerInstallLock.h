#pragma once

#include <QString>

namespace murmeli::test {

/// The lock the peer kits' own scripts hold around an npm install (flock on <folder>/.install.lock). npm marks a
/// tool executable before it has finished writing it, so a test looks at the tool only while holding this lock: then
/// no install is half done.
class PeerInstallLock final {
public:
    /// Waits up to timeoutMs for an install in progress to end.
    PeerInstallLock(const QString& folder, int timeoutMs);
    ~PeerInstallLock();
    PeerInstallLock(const PeerInstallLock&) = delete;
    PeerInstallLock& operator=(const PeerInstallLock&) = delete;

    bool isHeld() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

/// Whether the tool at path is fully installed, looked at under the lock of the kit folder that installs it. whyNot
/// says why not when the wait itself failed.
bool peerToolInstalled(const QString& folder, const QString& path, QString* whyNot = nullptr);

} // namespace murmeli::test
