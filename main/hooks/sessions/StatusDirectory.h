#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks {

/// The shared directory where the agents' sessions leave their files. It lives in the world-writable /tmp, so
/// before anything is written there (or read from there) it must be a real directory that belongs to us.
class StatusDirectory final {
public:
    static constexpr auto defaultPath = StatusFiles::directory;

    /// The names of the directory's entries other than subdirectories; nullopt when it cannot be read to its end.
    using NameLister = std::function<std::optional<QStringList>(const QString& path)>;

    /// An empty lister reads the directory on disk (listOnDisk).
    explicit StatusDirectory(QString path = QString::fromLatin1(defaultPath), NameLister lister = {});

    const QString& path() const { return m_path; }
    /// path + "/" + name
    QString filePath(const QString& name) const;

    /// Creates the directory (mode 0700) when it is absent; false, with the reason, when it is unusable:
    /// a symbolic link, not a directory, or owned by another user.
    bool prepare(QString* problem = nullptr) const;

    /// Whether it exists and is usable, without creating it.
    bool isUsable(QString* problem = nullptr) const;

    /// The names in the directory when it is usable and can be listed; nullopt otherwise. A directory that
    /// exists but cannot be read is a failure here, never an empty list.
    std::optional<QStringList> fileNames() const;

    /// The real lister: every entry but ".", ".." and subdirectories; nullopt when opening or reading fails.
    static std::optional<QStringList> listOnDisk(const QString& path);

private:
    QString m_path;
    NameLister m_lister;
};

} // namespace murmeli::hooks
