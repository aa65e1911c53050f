#include "tests/support/PeerInstallLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace murmeli::test {

namespace {

// An install of a 400 MB agent on a slow mirror takes minutes; a wait longer than this means something hangs.
constexpr int installWaitMs = 20 * 60 * 1000;

} // namespace

PeerInstallLock::PeerInstallLock(const QString& folder, int timeoutMs)
{
    if (!QDir().mkpath(folder)) {
        return;
    }
    m_fd = ::open(QFile::encodeName(folder + QStringLiteral("/.install.lock")).constData(),
        O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        return;
    }
    QDeadlineTimer deadline(timeoutMs);
    while (!(m_held = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0) && !deadline.hasExpired()) {
        QThread::msleep(200);
    }
}

PeerInstallLock::~PeerInstallLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool peerToolInstalled(const QString& folder, const QString& path, QString* whyNot)
{
    const PeerInstallLock lock(folder, installWaitMs);
    if (!lock.isHeld()) {
        if (whyNot) {
            *whyNot = QStringLiteral("could not take the install lock in %1 within 20 minutes").arg(folder);
        }
        return false;
    }
    return QFileInfo(path).isFile();
}

} // namespace murmeli::test
