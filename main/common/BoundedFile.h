#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace murmeli::common {

/// Why a file was not read.
enum class FileProblem {
    None,
    Missing, // nothing under the name, or a folder on the way is missing
    NotRegularFile, // a folder, FIFO, device or socket; a symbolic link where links are refused
    TooLarge, // more bytes than the reader's cap
    Unreadable, // there, but the system would not open or read it
};

/// Tells one file from another that has taken its name.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

/// A regular file opened for reading, and nothing else: a FIFO that would hold the thread, a device such as
/// /dev/zero that never ends, a folder, are refused before a byte is read. Every file that the user or another
/// program owns is read through this with a cap, so that none can block a thread or fill the memory.
class BoundedFile final {
public:
    enum class Links {
        Follow,
        Refuse, // for names in folders where others could plant a link
    };

    /// Opens path; isOpen() and problem() tell how that went.
    explicit BoundedFile(const QString& path, Links links = Links::Follow);
    ~BoundedFile();
    BoundedFile(const BoundedFile&) = delete;
    BoundedFile& operator=(const BoundedFile&) = delete;

    /// The bytes of the regular file at path when it holds at most limit bytes; nullopt otherwise, and problem
    /// (when given) says why.
    static std::optional<QByteArray> read(
        const QString& path, qint64 limit, FileProblem* problem = nullptr, Links links = Links::Follow);

    /// Whether a regular file is open.
    bool isOpen() const { return m_fd >= 0; }
    /// Why the file is not open, or why readAll() refused it; None otherwise.
    FileProblem problem() const { return m_problem; }
    /// The system's words when it refused to look at, open or read the file (a Missing or Unreadable problem).
    QString errorText() const { return m_errorText; }

    /// The size in bytes when the file was opened.
    qint64 size() const { return m_size; }
    /// The last change of the contents, to the millisecond, in UTC.
    QDateTime modified() const;
    /// The owner's user id.
    uint ownerId() const { return m_ownerId; }
    /// The permission bits (mode & 07777).
    uint permissions() const { return m_permissions; }
    FileIdentity identity() const { return m_identity; }

    /// Up to count bytes from offset; fewer at the end of the file or on an error.
    QByteArray readAt(qint64 offset, qint64 count) const;
    /// The whole file when it holds at most limit bytes (also when it grew since it was opened); nullopt otherwise,
    /// with problem() TooLarge or Unreadable. Holds no more than limit + 1 bytes at any time.
    std::optional<QByteArray> readAll(qint64 limit);

private:
    void fail(FileProblem problem, int error = 0);

    int m_fd = -1;
    FileProblem m_problem = FileProblem::None;
    QString m_errorText;
    qint64 m_size = 0;
    qint64 m_modifiedMs = 0;
    uint m_ownerId = 0;
    uint m_permissions = 0;
    FileIdentity m_identity;
};

} // namespace murmeli::common
