#include "main/hooks/sessions/StatusDirectory.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFileInfo>

#include "main/hooks/sessions/SmallFile.h"

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
    std::function<std::optional<QStringList>()> list
        = [lister = m_directory->m_lister, path = path()] { return lister(path); };
    return call(std::move(list)).value_or(std::nullopt);
}

std::optional<std::vector<StatusDirectory::TimedName>> StatusDirectory::Access::fileTimes() const
{
    if (m_directory->m_listsOnDisk) {
        std::function<std::optional<std::vector<TimedName>>()> scan = [path = path()] {
            std::vector<TimedName> timed;
            return scanOnDisk(path, &timed) ? std::optional(std::move(timed)) : std::nullopt;
        };
        return call(std::move(scan)).value_or(std::nullopt);
    }
    const std::optional<QStringList> names = fileNames();
    if (!names) {
        return std::nullopt;
    }
    std::vector<TimedName> timed;
    for (const QString& name : *names) {
        if (std::optional<QDateTime> time = modified(name)) {
            timed.push_back({ name, std::move(*time) });
        }
    }
    return timed;
}

std::optional<QDateTime> StatusDirectory::Access::modified(const QString& name) const
{
    std::function<std::optional<QDateTime>()> look = [path = QFile::encodeName(filePath(name))] {
        struct stat info { };
        return ::stat(path.constData(), &info) == 0 ? std::optional(modificationTime(info)) : std::nullopt;
    };
    return call(std::move(look)).value_or(std::nullopt);
}

std::optional<QJsonObject> StatusDirectory::Access::readObject(const QString& name) const
{
    std::function<std::optional<QJsonObject>()> read = [path = filePath(name)] { return SmallFile::readObject(path); };
    return call(std::move(read)).value_or(std::nullopt);
}

bool StatusDirectory::Access::write(const QString& name, const QByteArray& bytes, QString* problem) const
{
    std::function<QString()> write = [path = filePath(name), bytes] {
        QString why;
        // An empty reason and success cannot be told apart by the text alone.
        return SmallFile::writeAtomically(path, bytes, &why) ? QString()
            : why.isEmpty()                                  ? QStringLiteral("failed")
                                                             : why;
    };
    const std::optional<QString> why = call(std::move(write));
    if (why && why->isEmpty()) {
        return true;
    }
    if (problem) {
        *problem = why ? *why : path() + QStringLiteral(" does not answer");
    }
    return false;
}

bool StatusDirectory::Access::remove(const QString& name) const
{
    std::function<bool()> remove = [path = filePath(name)] { return QFile::remove(path); };
    return call(std::move(remove)).value_or(false);
}

bool StatusDirectory::Access::exists(const QString& name) const
{
    std::function<bool()> look = [path = filePath(name)] { return QFileInfo::exists(path); };
    return call(std::move(look)).value_or(false);
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
    std::function<Reached()> look = [path = m_path, how] { return reachOnDisk(path, how); };
    const std::optional<Reached> reached = m_calls.call(std::move(look));
    if (reached && reached->usable) {
        if (repair && !reached->repair.isEmpty()) {
            *repair = reached->repair;
        }
        return Access(*this);
    }
    if (problem) {
        *problem = reached ? reached->problem : m_path + QStringLiteral(" does not answer");
    }
    return std::nullopt;
}

StatusDirectory::Reached StatusDirectory::reachOnDisk(const QString& path, Reach how)
{
    const auto fail = [&](const QString& why) { return Reached { false, path + QLatin1Char(' ') + why, {} }; };
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info { };
    // lstat, so a symbolic link planted in /tmp is seen as what it is and never followed.
    if (::lstat(encoded.constData(), &info) != 0) {
        if (errno != ENOENT) {
            return fail(QStringLiteral("cannot be examined: ") + QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (how == Reach::Existing) {
            return fail(QStringLiteral("does not exist"));
        }
        const QFileInfo parent(QFileInfo(path).absolutePath());
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
        return { true, {}, {} };
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
    return { true, {},
        QStringLiteral("%1 was writable by group or others (mode %2); set back to 0700").arg(path, modeText) };
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
