#include "platform/secrets/file/FileSecretStore.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"

namespace murmeli::platform {

namespace {

// Names become file names, so anything that could climb out of the directory or hide a file is refused outright.
bool isSafeName(const QString& name)
{
    if (name.isEmpty() || name.front() == u'.') {
        return false;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'.'
            || u == u'_' || u == u'-';
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace

FileSecretStore::FileSecretStore(QString directory) : m_directory(QDir::cleanPath(directory)) { }

QString FileSecretStore::standardDirectory()
{
    // The XDG rules say a relative XDG_DATA_HOME is invalid and must be ignored.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(base + QStringLiteral("/murmeli/secrets"));
}

bool FileSecretStore::isAvailable() const
{
    return ensureDirectory();
}

std::optional<QByteArray> FileSecretStore::load(const QString& service, const QString& account) const
{
    const std::optional<QString> path = itemPath(service, account);
    if (!path) {
        return std::nullopt;
    }
    // A link could lead anywhere, a file others could read may have been seen by them, and one of another user's may
    // have been planted: none of them is a secret.
    common::BoundedFile file(*path, common::BoundedFile::Links::Refuse);
    if (!file.isOpen() || (file.permissions() & (S_IRWXG | S_IRWXO)) != 0 || file.ownerId() != ::geteuid()) {
        return std::nullopt;
    }
    return file.readAll(maxValueSize);
}

bool FileSecretStore::save(const QString& service, const QString& account, const QByteArray& value)
{
    const std::optional<QString> path = itemPath(service, account);
    if (!path || value.size() > maxValueSize || !ensureDirectory()) {
        return false;
    }
    // A link or any other non-file under the name is left alone; the file is 0600 from before its first byte.
    common::AtomicFile::Options options;
    options.newFileMode = 0600;
    options.forceMode = true;
    options.links = common::AtomicFile::Links::Refuse;
    return common::AtomicFile::write(*path, value, options);
}

bool FileSecretStore::remove(const QString& service, const QString& account)
{
    const std::optional<QString> path = itemPath(service, account);
    if (!path) {
        return false;
    }
    if (::unlink(QFile::encodeName(*path).constData()) == 0) {
        return true;
    }
    return errno == ENOENT;
}

std::vector<SecretNotice> FileSecretStore::check(
    const QString& service, const QString& account, const ValueCheck& usable)
{
    const std::optional<QString> path = itemPath(service, account);
    struct stat info { };
    if (!path || ::lstat(QFile::encodeName(*path).constData(), &info) != 0) {
        return {};
    }
    if (S_ISLNK(info.st_mode)) {
        return { { *path + QStringLiteral(" is a symbolic link") } };
    }
    if (!S_ISREG(info.st_mode)) {
        return { { *path + QStringLiteral(" is not a regular file") } };
    }
    if (info.st_uid != ::geteuid()) {
        return { { *path + QStringLiteral(" belongs to another user (uid %1)").arg(info.st_uid) } };
    }
    std::vector<SecretNotice> notices;
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        // The user's own file, copied without its mode or restored from a backup: closing it to the others keeps the
        // agents that hold this secret working. Changed through a descriptor of the very file that was looked at.
        const QString was = QString::number(info.st_mode & 07777, 8).rightJustified(4, u'0');
        const int fd = ::open(QFile::encodeName(*path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat opened { };
        const bool same
            = fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_dev == info.st_dev && opened.st_ino == info.st_ino;
        const bool narrowed = same && ::fchmod(fd, 0600) == 0;
        const QString why = QString::fromLocal8Bit(std::strerror(same || fd < 0 ? errno : EAGAIN));
        if (fd >= 0) {
            ::close(fd);
        }
        if (!narrowed) {
            return { { *path
                + QStringLiteral(" is open to others (mode %1) and could not be made 0600: %2").arg(was, why) } };
        }
        notices.push_back({ *path + QStringLiteral(" was open to others (mode %1); it is 0600 now").arg(was), true });
    }
    // A file that is there but holds nothing the caller can use is said so, or it would pass for no item at all.
    common::BoundedFile file(*path, common::BoundedFile::Links::Refuse);
    const std::optional<QByteArray> value = file.readAll(maxValueSize);
    if (!value) {
        notices.push_back({ *path
            + (file.problem() == common::FileProblem::TooLarge
                    ? QStringLiteral(" is over %1 KiB").arg(maxValueSize / 1024)
                    : QStringLiteral(" could not be read: ") + file.errorText()) });
    } else if (const std::optional<QString> why = usable ? usable(*value) : std::nullopt) {
        notices.push_back({ *path + QLatin1Char(' ') + *why });
    }
    return notices;
}

QString FileSecretStore::backendName() const
{
    return QStringLiteral("file");
}

bool FileSecretStore::ensureDirectory() const
{
    if (m_directory.isEmpty()) {
        return false;
    }
    if (QFileInfo(m_directory).isDir()) {
        return true;
    }
    if (!QDir().mkpath(QFileInfo(m_directory).absolutePath())) {
        return false;
    }
    const QByteArray native = QFile::encodeName(m_directory);
    if (::mkdir(native.constData(), 0700) != 0) {
        // Somebody else may have created it in the meantime; that is fine as long as it is a directory.
        return errno == EEXIST && QFileInfo(m_directory).isDir();
    }
    // mkdir's mode passes through the umask; set it exactly.
    return ::chmod(native.constData(), 0700) == 0;
}

std::optional<QString> FileSecretStore::itemPath(const QString& service, const QString& account) const
{
    if (m_directory.isEmpty() || !isSafeName(service) || !isSafeName(account)) {
        return std::nullopt;
    }
    return m_directory + u'/' + service + u'.' + account;
}

} // namespace murmeli::platform
