#include "platform/secrets/file/FileSecretStore.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    // A link could lead anywhere, and a file others could read may have been seen by them: neither is a secret.
    common::BoundedFile file(*path, common::BoundedFile::Links::Refuse);
    if (!file.isOpen() || (file.permissions() & (S_IRWXG | S_IRWXO)) != 0) {
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
