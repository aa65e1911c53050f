#include "main/app/shell/InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "main/app/shell/InstanceChannel.h"
#include "main/hooks/sessions/StatusDirectory.h"

namespace murmeli::app {

namespace {

// Far more than a socket's path takes.
constexpr qsizetype maxAnnouncementBytes = 4096;
constexpr int retryMs = 50;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// "<home>/.murmeli/run", which no other user can plant; none when home is no folder.
QStringList runFolderIn(const QString& home)
{
    if (!QDir::isAbsolutePath(home) || !QFileInfo(home).isDir()) {
        return {};
    }
    const QString murmeliHome = home + QStringLiteral("/.murmeli");
    // Only a folder made here gets 0700; one that is there already keeps what the user gave it.
    ::mkdir(QFile::encodeName(murmeliHome).constData(), 0700);
    return { murmeliHome + QStringLiteral("/run") };
}

// The home the user database gives the user, which no start's environment changes; empty when it names none.
QString accountHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    QByteArray buffer(size > 0 ? size : 16384, Qt::Uninitialized);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), size_t(buffer.size()), &found) != 0 || found == nullptr
        || found->pw_dir == nullptr) {
        return {};
    }
    return QFile::decodeName(found->pw_dir);
}

} // namespace

QStringList InstanceLock::privateFolders()
{
    // First a folder in the user's home, which every start of the user finds; else one in the temporary folder,
    // which is refused when another user made it first.
    return runFolderIn(qEnvironmentVariable("HOME"))
        + QStringList { QDir::tempPath() + QStringLiteral("/murmeli-%1").arg(::getuid()) };
}

QStringList InstanceLock::lockFolders()
{
    if (const QString own = qEnvironmentVariable(instanceDirVariable); QDir::isAbsolutePath(own)) {
        return { own };
    }
    // Neither HOME nor TMPDIR: a start with another home, or none, must find the same lock.
    return runFolderIn(accountHome()) + QStringList { QStringLiteral("/tmp/murmeli-%1").arg(::getuid()) };
}

QString InstanceLock::standardPath(QString* problem)
{
    QStringList refusals;
    for (const QString& folder : lockFolders()) {
        QString refused;
        if (!hooks::StatusDirectory(folder).prepare(&refused)) {
            refusals.append(refused);
            continue;
        }
        // A file system that keeps no locks (an NFS home without its lock service) would leave murmeli unable to
        // start at all: the next folder is used instead.
        const QString path = folder + QLatin1Char('/') + QLatin1String(fileName);
        InstanceLock probe(path);
        if (probe.open(&refused) && probe.canLock(&refused)) {
            return path;
        }
        refusals.append(refused);
    }
    if (problem != nullptr) {
        *problem = refusals.join(QStringLiteral("; "));
    }
    return {};
}

InstanceLock::InstanceLock(QString path) : m_path(path.isEmpty() ? standardPath() : std::move(path)) { }

InstanceLock::~InstanceLock()
{
    release();
}

void InstanceLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_held = false;
}

bool InstanceLock::open(QString* problem)
{
    if (m_fd >= 0) {
        return true;
    }
    if (m_path.isEmpty()) {
        if (problem != nullptr) {
            *problem = QStringLiteral("no folder of the user's own for the instance lock");
        }
        return false;
    }
    // Close-on-exec: a program murmeli starts (an installer, a recogniser) must not keep the lock after murmeli ends.
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat opened { };
    if (m_fd >= 0 && (::fstat(m_fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != ::getuid())) {
        ::close(m_fd);
        m_fd = -1;
        errno = EPERM;
    }
    if (m_fd < 0 && problem != nullptr) {
        *problem = m_path + QStringLiteral(" cannot be opened as a file of the user's own: ") + systemError();
    }
    return m_fd >= 0;
}

bool InstanceLock::canLock(QString* problem) const
{
    if (::flock(m_fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(m_fd, LOCK_UN);
        return true;
    }
    if (errno == EWOULDBLOCK) {
        return true;
    }
    if (problem != nullptr) {
        *problem = m_path + QStringLiteral(" cannot be locked: ") + systemError();
    }
    return false;
}

bool InstanceLock::tryLock(QString* problem)
{
    if (m_held) {
        return true;
    }
    if (!open(problem)) {
        return false;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && problem != nullptr) {
            *problem = m_path + QStringLiteral(" cannot be locked: ") + systemError();
        }
        return false;
    }
    m_held = true;
    // What a holder that is gone wrote would send later starts to a socket nobody answers on.
    [[maybe_unused]] const int emptied = ::ftruncate(m_fd, 0);
    return true;
}

bool InstanceLock::announce(const QString& channelName)
{
    if (!m_held) {
        return false;
    }
    const QByteArray line = QFile::encodeName(channelName) + '\n';
    // One write of a few bytes: a reader sees nothing, or the whole line with its line break.
    return ::ftruncate(m_fd, 0) == 0 && ::pwrite(m_fd, line.constData(), size_t(line.size()), 0) == line.size();
}

QString InstanceLock::announcedChannel() const
{
    if (m_fd < 0) {
        return {};
    }
    QByteArray bytes(maxAnnouncementBytes, Qt::Uninitialized);
    const ssize_t read = ::pread(m_fd, bytes.data(), size_t(bytes.size()), 0);
    bytes.truncate(read > 0 ? qsizetype(read) : 0);
    if (!bytes.endsWith('\n') || bytes.count('\n') != 1) {
        return {};
    }
    return QFile::decodeName(bytes.chopped(1));
}

InstanceLock::Claim InstanceLock::claimOrHandOver(const QString& request, int patienceMs, QString* problem)
{
    const QDeadlineTimer deadline(patienceMs);
    QString channel;
    InstanceChannel::HandOver last = InstanceChannel::HandOver::NotReached;
    // Set once a request went unanswered: it is not sent again, lest the holder act on it twice.
    std::optional<QDeadlineTimer> unanswered;
    bool saidWaiting = false;
    const QDeadlineTimer quiet(quietWaitMs);
    for (;;) {
        QString why;
        if (tryLock(&why)) {
            return Claim::Run;
        }
        if (!why.isEmpty()) {
            if (problem != nullptr) {
                *problem = why;
            }
            return Claim::Failed;
        }
        channel = announcedChannel();
        if (!unanswered && !channel.isEmpty()) {
            last = InstanceChannel::sendToRunning(channel, request);
            if (last == InstanceChannel::HandOver::Taken) {
                return Claim::HandedOver;
            }
            if (last == InstanceChannel::HandOver::NoAnswer) {
                unanswered = QDeadlineTimer(silentHolderMs);
            }
        }
        // A holder that kept the lock that long was not ending: it has the request, and takes it when it can.
        if (unanswered && unanswered->hasExpired()) {
            return Claim::HandedOver;
        }
        if (deadline.hasExpired()) {
            break;
        }
        if (!saidWaiting && quiet.hasExpired() && onWaiting) {
            saidWaiting = true;
            onWaiting(
                QStringLiteral("another murmeli holds %1 and is still starting or ending; waiting up to %2 s for it")
                    .arg(m_path)
                    .arg((deadline.remainingTime() + 999) / 1000));
        }
        // The holder is still starting (it names its socket once that listens), or it is ending.
        QThread::msleep(retryMs);
    }
    if (problem != nullptr) {
        *problem = channel.isEmpty()
            ? QStringLiteral("another murmeli holds %1 but has not finished starting").arg(m_path)
            : last == InstanceChannel::HandOver::Ending
            ? QStringLiteral("another murmeli holds %1 and has not finished ending").arg(m_path)
            : QStringLiteral("another murmeli holds %1 but did not take the request on %2").arg(m_path, channel);
    }
    return Claim::Failed;
}

} // namespace murmeli::app
