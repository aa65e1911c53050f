#include "main/hooks/sessions/StatusDirectory.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmeli::hooks {

namespace {

QDateTime modificationTime(const struct stat& info)
{
    return QDateTime::fromMSecsSinceEpoch(
        qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000, Qt::UTC);
}

} // namespace

StatusDirectory::StatusDirectory(QString path, NameLister lister) : m_path(std::move(path)), m_listsOnDisk(!lister)
{
    m_lister = lister ? std::move(lister) : NameLister(&StatusDirectory::listOnDisk);
}

QString StatusDirectory::Access::filePath(const QString& name) const
{
    return path() + QLatin1Char('/') + name;
}

std::optional<QStringList> StatusDirectory::Access::fileNames() const
{
    return m_directory->m_lister(path());
}

std::optional<std::vector<StatusDirectory::TimedName>> StatusDirectory::Access::fileTimes() const
{
    std::vector<TimedName> timed;
    if (m_directory->m_listsOnDisk) {
        return scanOnDisk(path(), &timed) ? std::optional(std::move(timed)) : std::nullopt;
    }
    const std::optional<QStringList> names = fileNames();
    if (!names) {
        return std::nullopt;
    }
    for (const QString& name : *names) {
        if (std::optional<QDateTime> time = modified(name)) {
            timed.push_back({ name, std::move(*time) });
        }
    }
    return timed;
}

std::optional<QDateTime> StatusDirectory::Access::modified(const QString& name) const
{
    struct stat info { };
    if (::stat(QFile::encodeName(filePath(name)).constData(), &info) != 0) {
        return std::nullopt;
    }
    return modificationTime(info);
}

std::optional<StatusDirectory::Access> StatusDirectory::open(QString* problem) const
{
    return reach(Reach::Existing, problem, nullptr);
}

std::optional<StatusDirectory::Access> StatusDirectory::openOrCreate(QString* problem) const
{
    return reach(Reach::Create, problem, nullptr);
}

bool StatusDirectory::prepare(QString* problem, QString* repair, bool setBack) const
{
    return reach(setBack ? Reach::Repair : Reach::Create, problem, repair).has_value();
}

std::optional<StatusDirectory::Access> StatusDirectory::reach(Reach how, QString* problem, QString* repair) const
{
    const auto fail = [&](const QString& why) -> std::optional<Access> {
        if (problem) {
            *problem = m_path + QLatin1Char(' ') + why;
        }
        return std::nullopt;
    };
    const QByteArray encoded = QFile::encodeName(m_path);
    struct stat info { };
    // lstat, so a symbolic link planted in /tmp is seen as what it is and never followed.
    if (::lstat(encoded.constData(), &info) != 0) {
        if (errno != ENOENT) {
            return fail(QStringLiteral("cannot be examined: ") + QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (how == Reach::Existing) {
            return fail(QStringLiteral("does not exist"));
        }
        const QFileInfo parent(QFileInfo(m_path).absolutePath());
        if (!parent.exists()) {
            QDir().mkpath(parent.absoluteFilePath());
        }
        // mkdir with the mode directly: there is no moment in which others could use the directory.
        if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
            return fail(QStringLiteral("could not be created: ") + QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (::lstat(encoded.constData(), &info) != 0) {
            return fail(QStringLiteral("does not exist"));
        }
    }
    if (S_ISLNK(info.st_mode)) {
        return fail(QStringLiteral("is a symbolic link"));
    }
    if (!S_ISDIR(info.st_mode)) {
        return fail(QStringLiteral("is not a directory"));
    }
    if (info.st_uid != ::getuid()) {
        return fail(QStringLiteral("belongs to another user (uid %1)").arg(info.st_uid));
    }
    const mode_t mode = info.st_mode & 07777;
    if ((mode & (S_IWGRP | S_IWOTH)) == 0) {
        return Access(*this);
    }
    const QString modeText = QStringLiteral("0%1").arg(mode, 3, 8, QLatin1Char('0'));
    if (how != Reach::Repair) {
        return fail(QStringLiteral("is writable by group or others (mode %1)").arg(modeText));
    }
    // Through a descriptor of the very directory that was checked, so a swap in between cannot redirect the chmod.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened { };
    const bool same = fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_dev == info.st_dev
        && opened.st_ino == info.st_ino && ::fchmod(fd, 0700) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!same) {
        return fail(
            QStringLiteral("is writable by group or others (mode %1) and could not be set back to 0700").arg(modeText));
    }
    if (repair) {
        *repair
            = QStringLiteral("%1 was writable by group or others (mode %2); set back to 0700").arg(m_path, modeText);
    }
    return Access(*this);
}

std::optional<QStringList> StatusDirectory::listOnDisk(const QString& path)
{
    std::optional<QStringList> names = scanOnDisk(path, nullptr);
    if (names) {
        names->sort();
    }
    return names;
}

std::optional<QStringList> StatusDirectory::scanOnDisk(const QString& path, std::vector<TimedName>* timed)
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
        if (isDirectory) {
            continue;
        }
        if (!timed) {
            names.append(QFile::decodeName(name));
            continue;
        }
        struct stat info { };
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0) {
            timed->push_back({ QFile::decodeName(name), modificationTime(info) });
        }
    }
    ::closedir(dir);
    if (failed) {
        return std::nullopt;
    }
    return names;
}

} // namespace murmeli::hooks
