#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace murmeli::voice {

/// Where a take's recordings live while it is transcribed: a folder of the user's own below a root (the system's
/// temporary folder unless given), mode 0700, which is never a link and never another user's; each file gets a name
/// no one could have chosen ahead, is made without following links, and goes when its take ends. A folder under the
/// usual name that someone else planted is left alone and a fresh one of ours is made beside it. Main thread.
class TakeFiles final {
public:
    /// root holds the private folder; the system's temporary folder when empty.
    explicit TakeFiles(QString root = {});
    /// Removes what the last take left, and a folder it had to make under a name of its own.
    ~TakeFiles();
    TakeFiles(const TakeFiles&) = delete;
    TakeFiles& operator=(const TakeFiles&) = delete;

    /// A new empty file of the current take, named after stem ("ptt" gives "ptt-XXXXXX.wav"); nullopt, with the
    /// reason in error, when the folder or the file cannot be made.
    std::optional<QString> create(const QString& stem, QString* error = nullptr);
    /// A new file of the current take holding bytes; nullopt, with the reason in error, when it cannot be made or
    /// written whole (what was made is removed again).
    std::optional<QString> write(const QString& stem, const QByteArray& bytes, QString* error = nullptr);
    /// The take has ended: its files are removed.
    void removeAll();

    /// The private folder as last made or checked; empty until the first file.
    const QString& folder() const { return m_folder; }
    /// The files of the current take.
    const QStringList& files() const { return m_files; }

private:
    std::optional<QString> usableFolder(QString* error);

    QString m_root;
    QString m_folder;
    /// m_folder was made under a unique name beside the usual one, which was not ours to use.
    bool m_folderIsFresh = false;
    QStringList m_files;
};

} // namespace murmeli::voice
