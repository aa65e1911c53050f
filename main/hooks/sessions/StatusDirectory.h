#pragma once

#include <QString>

namespace murmeli::hooks {

/// The shared directory where the agents' sessions leave their files. It lives in the world-writable /tmp, so
/// before anything is written there (or read from there) it must be a real directory that belongs to us.
class StatusDirectory final {
public:
    static constexpr auto defaultPath = "/tmp/murmeli";

    explicit StatusDirectory(QString path = QString::fromLatin1(defaultPath));

    const QString& path() const { return m_path; }
    /// path + "/" + name
    QString filePath(const QString& name) const;

    /// Creates the directory (mode 0700) when it is absent; false, with the reason, when it is unusable:
    /// a symbolic link, not a directory, or owned by another user.
    bool prepare(QString* problem = nullptr) const;

    /// Whether it exists and is usable, without creating it.
    bool isUsable(QString* problem = nullptr) const;

private:
    QString m_path;
};

} // namespace murmeli::hooks
