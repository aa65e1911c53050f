#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace murmeli::test {

/// A folder on a FUSE mount that stops answering when the test says so, as a network mount does when its server goes
/// away: every call on it then waits in the kernel until answer(), or until the stall's cap, so a test that would hang
/// on it still ends. Served by tests/support/stalling_fs.py; needs /dev/fuse, fusermount and Debian's python3-fusepy.
class StallingMount final {
public:
    /// Mounts backing at mountPoint, making both when missing; mounted() says whether that worked, why() why not.
    StallingMount(const QString& backing, const QString& mountPoint);
    /// Lets every waiting call go on, unmounts and waits for the tool, each with a bound.
    ~StallingMount();
    StallingMount(const StallingMount&) = delete;
    StallingMount& operator=(const StallingMount&) = delete;

    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    const QString& path() const { return m_mountPoint; }

    /// From now on every call on the mount waits, until answer() or capSeconds at the latest; false when the tool did
    /// not confirm it.
    bool stall(int capSeconds);
    bool answer();
    /// Waits up to timeoutMs for a call on a path containing part to have begun to wait since stall().
    bool waitedOn(const QString& part, int timeoutMs);

private:
    /// Waits up to timeoutMs for a line of the tool's that starts with start.
    bool heard(const QString& start, int timeoutMs);

    QString m_mountPoint;
    QProcess m_tool;
    QStringList m_lines;
    bool m_mounted = false;
    QString m_why;
};

} // namespace murmeli::test
