#include "main/common/BoundedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmeli::common {

namespace {

FileProblem problemOfOpen(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileProblem::Missing;
    case ELOOP: // O_NOFOLLOW met a link
    case ENXIO: // a socket
        return FileProblem::NotRegularFile;
    default:
        return FileProblem::Unreadable;
    }
}

// The first read of a file that reports no size (a file of /proc, one being written) starts this small.
constexpr qint64 firstReadBytes = 4096;

} // namespace

BoundedFile::BoundedFile(const QString& path, Links links)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        fail(FileProblem::Missing);
        return;
    }
    // The type is looked at before opening, so a FIFO or a device is never opened at all; the descriptor is checked
    // again below, because something else may take the name in between.
    struct stat info { };
    const int looked = links == Links::Follow ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info);
    if (looked != 0) {
        fail(problemOfOpen(errno), errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        fail(FileProblem::NotRegularFile);
        return;
    }
    // O_NONBLOCK: a FIFO swapped in after the look must not hold the thread in open().
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    m_fd = ::open(name.constData(), flags);
    if (m_fd < 0) {
        fail(problemOfOpen(errno), errno);
        return;
    }
    if (::fstat(m_fd, &info) != 0) {
        fail(FileProblem::Unreadable, errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        fail(FileProblem::NotRegularFile);
        return;
    }
    m_size = info.st_size;
    m_modifiedMs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000;
    m_ownerId = info.st_uid;
    m_permissions = info.st_mode & 07777;
    m_identity = { quint64(info.st_dev), quint64(info.st_ino) };
}

BoundedFile::~BoundedFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<QByteArray> BoundedFile::read(const QString& path, qint64 limit, FileProblem* problem, Links links)
{
    BoundedFile file(path, links);
    std::optional<QByteArray> bytes = file.isOpen() ? file.readAll(limit) : std::nullopt;
    if (problem) {
        *problem = file.problem();
    }
    return bytes;
}

void BoundedFile::fail(FileProblem problem, int error)
{
    m_problem = problem;
    m_errorText = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : QString();
    if (m_fd >= 0 && problem != FileProblem::TooLarge) {
        ::close(m_fd);
        m_fd = -1;
    }
}

QDateTime BoundedFile::modified() const
{
    return QDateTime::fromMSecsSinceEpoch(m_modifiedMs, Qt::UTC);
}

QByteArray BoundedFile::readAt(qint64 offset, qint64 count) const
{
    if (m_fd < 0 || offset < 0 || count <= 0) {
        return {};
    }
    QByteArray bytes(count, Qt::Uninitialized);
    qint64 got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, static_cast<size_t>(count - got), offset + got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

std::optional<QByteArray> BoundedFile::readAll(qint64 limit)
{
    if (m_fd < 0) {
        return std::nullopt;
    }
    limit = std::max<qint64>(0, limit);
    if (m_size > limit) {
        fail(FileProblem::TooLarge);
        return std::nullopt;
    }
    // Read to the end rather than trusting the size, which may have changed since; one byte past the limit tells a
    // file that grew too large from one that fits.
    const qint64 ceiling = limit + 1;
    QByteArray bytes(std::min(ceiling, std::max(m_size + 1, firstReadBytes)), Qt::Uninitialized);
    qint64 got = 0;
    while (got < ceiling) {
        if (got == bytes.size()) {
            bytes.resize(std::min(ceiling, bytes.size() * 2));
        }
        const ssize_t n = ::pread(m_fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got), got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail(FileProblem::Unreadable, errno);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    if (got > limit) {
        fail(FileProblem::TooLarge);
        return std::nullopt;
    }
    bytes.truncate(got);
    return bytes;
}

} // namespace murmeli::common
