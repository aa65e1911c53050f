#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "main/common/FolderCalls.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks {

/// The shared directory where the agents' sessions leave their files. It lives in the world-writable /tmp, so
/// before anything is read, written or deleted there it must be a real directory that belongs to us and that no
/// one else may write to. Its files are reached only through an Access, which one check hands out, so no caller
/// can forget the check. The directory may lie on a mount that stops answering: every call on it runs on the
/// directory's own thread within a time limit (common::FolderCalls), and one that does not answer in time fails as an
/// unusable directory does. Copies share that thread.
class StatusDirectory final {
public:
    static constexpr auto defaultPath = StatusFiles::directory;

    /// The names of the directory's entries other than subdirectories; nullopt when it cannot be read to its end.
    using NameLister = std::function<std::optional<QStringList>(const QString& path)>;

    /// An entry of the directory and when what it names was last modified.
    struct TimedName {
        QString name;
        QDateTime modified;
    };

    /// The directory as one check found it usable. Take one per operation (each check is one lstat) and keep it no
    /// longer than the operation and the StatusDirectory it came from.
    class Access final {
    public:
        const QString& path() const { return m_directory->m_path; }
        /// path + "/" + name
        QString filePath(const QString& name) const;
        /// The names in the directory; nullopt when it cannot be listed. A directory that cannot be read is a
        /// failure here, never an empty list.
        std::optional<QStringList> fileNames() const;
        /// When the named entry (its target, for a link) was last modified; nullopt when it cannot be looked at.
        std::optional<QDateTime> modified(const QString& name) const;
        /// As fileNames(), in no particular order, each with its modification time (of its target, for a link);
        /// an entry that goes while the directory is read is left out.
        std::optional<std::vector<TimedName>> fileTimes() const;
        /// The named file parsed as a JSON object (SmallFile::readObject()); nullopt when it cannot be.
        std::optional<QJsonObject> readObject(const QString& name) const;
        /// Replaces the named file whole (SmallFile::writeAtomically()); false, with the reason, when it cannot.
        bool write(const QString& name, const QByteArray& bytes, QString* problem = nullptr) const;
        /// Deletes the named file; false when it is not there or cannot be deleted.
        bool remove(const QString& name) const;
        bool exists(const QString& name) const;
        /// Any other work on the directory's files, on its thread and within its limit; nullopt when it did not end
        /// in time. The work must own everything it touches.
        template <typename T> std::optional<T> call(std::function<T()> work) const
        {
            return m_directory->m_calls.call(std::move(work));
        }

    private:
        friend class StatusDirectory;
        explicit Access(const StatusDirectory& directory) : m_directory(&directory) { }

        const StatusDirectory* m_directory;
    };

    /// An empty lister reads the directory on disk (listOnDisk).
    explicit StatusDirectory(QString path = QString::fromLatin1(defaultPath), NameLister lister = {});

    /// Names the directory in messages; its files are reached through open().
    const QString& path() const { return m_path; }

    /// False while a call on the directory overruns its time limit: it does not answer, and every call fails at once
    /// until that one has ended. Makes no call on the directory.
    bool answers() const { return m_calls.answers(); }

    /// The directory when it exists and is usable; nullopt, with the reason, when it is absent, a symbolic link,
    /// not a directory, owned by another user, or writable by group or others.
    std::optional<Access> open(QString* problem = nullptr) const;

    /// As open(), but creates the directory (mode 0700, with missing parents) when it is absent.
    std::optional<Access> openOrCreate(QString* problem = nullptr) const;

    /// For the start: as openOrCreate(), and, where setBack says the directory is murmeli's own place, one of ours that
    /// group or others may write to is set back to 0700, which repair (when given) then describes; elsewhere such a
    /// one keeps its mode and is refused. False, with the reason, when it is unusable.
    bool prepare(QString* problem = nullptr, QString* repair = nullptr, bool setBack = true) const;

    /// The real lister: every entry but ".", ".." and subdirectories; nullopt when opening or reading fails.
    static std::optional<QStringList> listOnDisk(const QString& path);

private:
    enum class Reach { Existing, Create, Repair };
    /// What one check on disk found.
    struct Reached {
        bool usable = false;
        QString problem;
        QString repair;
    };

    std::optional<Access> reach(Reach how, QString* problem, QString* repair) const;
    static Reached reachOnDisk(const QString& path, Reach how);
    /// One pass over the directory: the names, and their times when timed is given.
    static std::optional<QStringList> scanOnDisk(const QString& path, std::vector<TimedName>* timed);

    QString m_path;
    NameLister m_lister;
    // With the real lister the times come from the same pass, one stat per entry relative to the open directory.
    bool m_listsOnDisk = false;
    common::FolderCalls m_calls;
};

} // namespace murmeli::hooks
