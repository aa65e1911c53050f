#include "main/hooks/sessions/StatusDirectory.h"

#include <cerrno>

#include <QDir>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmeli::hooks {

StatusDirectory::StatusDirectory(QString path, NameLister lister)
    : m_path(std::move(path)), m_lister(lister ? std::move(lister) : NameLister(&StatusDirectory::listOnDisk))
{
}

QString StatusDirectory::filePath(const QString& name) const
{
    return m_path + QLatin1Char('/') + name;
}

bool StatusDirectory::isUsable(QString* problem) const
{
    const auto fail = [&](const QString& why) {
        if (problem) {
            *problem = why;
        }
        return false;
    };
    struct stat info { };
    // lstat, so a symbolic link planted in /tmp is seen as what it is and never followed.
    if (::lstat(QFile::encodeName(m_path).constData(), &info) != 0) {
        return fail(QStringLiteral("%1 does not exist").arg(m_path));
    }
    if (S_ISLNK(info.st_mode)) {
        return fail(QStringLiteral("%1 is a symbolic link").arg(m_path));
    }
    if (!S_ISDIR(info.st_mode)) {
        return fail(QStringLiteral("%1 is not a directory").arg(m_path));
    }
    if (info.st_uid != ::getuid()) {
        return fail(QStringLiteral("%1 belongs to another user (uid %2)").arg(m_path).arg(info.st_uid));
    }
    return true;
}

bool StatusDirectory::prepare(QString* problem) const
{
    struct stat info { };
    if (::lstat(QFile::encodeName(m_path).constData(), &info) != 0) {
        const QFileInfo parent(QFileInfo(m_path).absolutePath());
        if (!parent.exists()) {
            QDir().mkpath(parent.absoluteFilePath());
        }
        // mkdir with the mode directly: there is no moment in which others could use the directory.
        if (::mkdir(QFile::encodeName(m_path).constData(), 0700) != 0 && errno != EEXIST) {
            if (problem) {
                *problem = QStringLiteral("%1 could not be created: %2")
                               .arg(m_path, QString::fromLocal8Bit(strerror(errno)));
            }
            return false;
        }
    }
    return isUsable(problem);
}

std::optional<QStringList> StatusDirectory::fileNames() const
{
    if (!isUsable()) {
        return std::nullopt;
    }
    return m_lister(m_path);
}

std::optional<QStringList> StatusDirectory::listOnDisk(const QString& path)
{
    // QDir::entryList cannot tell an unreadable directory from an empty one; readdir's errno can.
    const QByteArray encoded = QFile::encodeName(path);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) {
        return std::nullopt;
    }
    QStringList names;
    bool failed = false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            failed = errno != 0;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info { };
            isDirectory
                = ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        if (!isDirectory) {
            names.append(QFile::decodeName(name));
        }
    }
    ::closedir(dir);
    if (failed) {
        return std::nullopt;
    }
    names.sort();
    return names;
}

} // namespace murmeli::hooks
