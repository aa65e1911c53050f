#include "main/common/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmeli::common::AtomicFile {

namespace {

// The kernel's own bound on links followed while resolving one name.
constexpr int maxLinkHops = 40;
constexpr int maxNameAttempts = 100;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool refuse(QString* problem, const QString& why)
{
    if (problem) {
        *problem = why;
    }
    return false;
}

// The name the file is written under: path itself, or the end of its chain of links.
std::optional<QString> target(const QString& path, Links links, QString* problem)
{
    QString current = path;
    for (int hop = 0; hop <= maxLinkHops; ++hop) {
        struct stat info { };
        if (::lstat(QFile::encodeName(current).constData(), &info) != 0) {
            if (errno == ENOENT) {
                return current;
            }
            refuse(problem, systemError(errno));
            return std::nullopt;
        }
        if (S_ISREG(info.st_mode) || links == Links::Replace) {
            return current;
        }
        if (!S_ISLNK(info.st_mode) || links == Links::Refuse) {
            refuse(problem, QStringLiteral("not a regular file"));
            return std::nullopt;
        }
        current = QFileInfo(current).symLinkTarget();
    }
    refuse(problem, systemError(ELOOP));
    return std::nullopt;
}

// A new file named after the target, hidden, in its folder: the rename must not cross file systems.
int createTemporary(const QString& finalPath, uint mode, QString* temporaryPath)
{
    const QFileInfo info(finalPath);
    const QString stem = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        *temporaryPath = stem + QString::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(
            QFile::encodeName(*temporaryPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += n;
    }
    return true;
}

void syncFolder(const QString& path)
{
    const int fd
        = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The owner's write bit says what the owner meant; access() alone would let root past it.
bool writableAsMeant(const QByteArray& name, const struct stat& info, QString* problem)
{
    if (::access(name.constData(), W_OK) != 0) {
        return refuse(problem, systemError(errno));
    }
    if ((info.st_mode & S_IWUSR) == 0) {
        return refuse(problem, systemError(EACCES));
    }
    return true;
}

} // namespace

bool mayWrite(const QString& path, const Options& options, QString* problem)
{
    const std::optional<QString> finalPath = target(path, options.links, problem);
    if (!finalPath) {
        return false;
    }
    const QByteArray finalName = QFile::encodeName(*finalPath);
    struct stat existing { };
    // A file its owner made read-only is not ours to replace, even though the folder would let us.
    if (::lstat(finalName.constData(), &existing) == 0 && S_ISREG(existing.st_mode)
        && !writableAsMeant(finalName, existing, problem)) {
        return false;
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(*finalPath).absolutePath());
    struct stat folderInfo { };
    if (::stat(folder.constData(), &folderInfo) != 0) {
        return refuse(problem, systemError(errno));
    }
    return writableAsMeant(folder, folderInfo, problem);
}

bool write(const QString& path, const QByteArray& bytes, const Options& options, QString* problem)
{
    const std::optional<QString> finalPath = target(path, options.links, problem);
    if (!finalPath || !mayWrite(*finalPath, options, problem)) {
        return false;
    }
    const QByteArray finalName = QFile::encodeName(*finalPath);
    struct stat existing { };
    const bool replaces = ::lstat(finalName.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    const bool keepsMode = replaces && !options.forceMode;
    // Created narrow and widened before any byte is written, so the content is never readable by more than it
    // will be; a new file's bits go through open(), which applies the umask.
    const bool setsMode = keepsMode || options.forceMode;
    QString temporaryPath;
    const int fd = createTemporary(*finalPath, setsMode ? 0600 : options.newFileMode, &temporaryPath);
    if (fd < 0) {
        return refuse(problem, systemError(errno));
    }
    const QByteArray temporaryName = QFile::encodeName(temporaryPath);
    const auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporaryName.constData());
        return refuse(problem, systemError(error));
    };
    const uint mode = keepsMode ? uint(existing.st_mode & 07777) : options.newFileMode;
    if (setsMode && ::fchmod(fd, mode) != 0) {
        return abandon(errno);
    }
    if (!writeAll(fd, bytes) || (options.durable && ::fsync(fd) != 0)) {
        return abandon(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporaryName.constData());
        return refuse(problem, systemError(error));
    }
    if (std::rename(temporaryName.constData(), finalName.constData()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.constData());
        return refuse(problem, systemError(error));
    }
    if (options.durable) {
        syncFolder(*finalPath);
    }
    return true;
}

} // namespace murmeli::common::AtomicFile
