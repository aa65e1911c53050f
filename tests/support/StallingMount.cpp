#include "tests/support/StallingMount.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "tests/support/Wait.h"

namespace murmeli::test {

namespace {

constexpr int toolWaitMs = 10000;

} // namespace

StallingMount::StallingMount(const QString& backing, const QString& mountPoint) : m_mountPoint(mountPoint)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        m_why = QStringLiteral("no /dev/fuse: a FUSE mount cannot be made here");
        return;
    }
    if (!QDir().mkpath(backing) || !QDir().mkpath(mountPoint)) {
        m_why = QStringLiteral("cannot make ") + backing + QStringLiteral(" and ") + mountPoint;
        return;
    }
    m_tool.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(MURMELI_SOURCE_DIR "/tests/support/stalling_fs.py"), backing, mountPoint });
    if (!heard(QStringLiteral("mounted"), toolWaitMs)) {
        m_why = QStringLiteral("the FUSE mount did not come up: ")
            + QString::fromUtf8(m_tool.readAllStandardError()).trimmed();
        return;
    }
    m_mounted = true;
}

StallingMount::~StallingMount()
{
    if (m_tool.state() == QProcess::NotRunning) {
        return;
    }
    // The end of its input lets every call go on and unmounts.
    m_tool.closeWriteChannel();
    if (m_tool.waitForFinished(toolWaitMs)) {
        return;
    }
    m_tool.kill();
    m_tool.waitForFinished(toolWaitMs);
    // Killed, it leaves the mount point as a folder nobody serves.
    QProcess unmount;
    unmount.start(QStringLiteral("fusermount"), { QStringLiteral("-u"), QStringLiteral("-z"), m_mountPoint });
    unmount.waitForFinished(toolWaitMs);
}

bool StallingMount::stall(int capSeconds)
{
    m_lines.clear();
    m_tool.write(QStringLiteral("stall %1\n").arg(capSeconds).toUtf8());
    return heard(QStringLiteral("stalled"), toolWaitMs);
}

bool StallingMount::answer()
{
    m_lines.clear();
    m_tool.write("answer\n");
    return heard(QStringLiteral("answering"), toolWaitMs);
}

bool StallingMount::waitedOn(const QString& part, int timeoutMs)
{
    return waitUntil(
        [&] {
            heard(QString(), 0);
            return std::any_of(m_lines.cbegin(), m_lines.cend(), [&](const QString& line) {
                return line.startsWith(QStringLiteral("waiting ")) && line.contains(part);
            });
        },
        timeoutMs);
}

bool StallingMount::heard(const QString& start, int timeoutMs)
{
    const auto found = [&] {
        while (m_tool.canReadLine()) {
            m_lines.append(QString::fromUtf8(m_tool.readLine()).trimmed());
        }
        return !start.isEmpty()
            && std::any_of(m_lines.cbegin(), m_lines.cend(), [&](const QString& line) { return line == start; });
    };
    return found() || (timeoutMs > 0 && waitUntil(found, timeoutMs));
}

} // namespace murmeli::test
