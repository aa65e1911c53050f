#include "platform/secrets/file/FileSecretStore.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

class FdCloser final {
public:
    explicit FdCloser(int fd) : m_fd(fd) { }
    ~FdCloser() { ::close(m_fd); }
    Q_DISABLE_COPY_MOVE(FdCloser)

private:
    int m_fd = -1;
};

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
    // Open first and check the opened file, so nothing can be swapped in between the check and the read.
    // O_NOFOLLOW refuses a symlink; O_NONBLOCK keeps a FIFO planted under the name from blocking us.
    const int fd = ::open(QFile::encodeName(*path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    const FdCloser closer(fd);
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0
        || info.st_size > maxValueSize) {
        return std::nullopt;
    }
    // Read to end of file rather than trusting st_size, with a bound in case the file grows meanwhile.
    QByteArray buffer(maxValueSize + 1, Qt::Uninitialized);
    qsizetype total = 0;
    while (total < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + total, static_cast<size_t>(buffer.size() - total));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        total += n;
    }
    if (total > maxValueSize) {
        return std::nullopt;
    }
    buffer.truncate(total);
    return buffer;
}

bool FileSecretStore::save(const QString& service, const QString& account, const QByteArray& value)
{
    const std::optional<QString> path = itemPath(service, account);
    if (!path || value.size() > maxValueSize || !ensureDirectory()) {
        return false;
    }
    // QSaveFile would write through a symlink to wherever it points; a non-file under the name is left alone too.
    struct stat existing { };
    if (::lstat(QFile::encodeName(*path).constData(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        return false;
    }
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    // Narrow the temporary file before a single secret byte lands in it.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(value) != value.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
