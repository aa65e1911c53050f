#pragma once

#include <QByteArray>
#include <QString>

/// Writes a file whole, so that readers see the old content or the new and never a part of either: the bytes go to
/// a temporary file in the same folder, which is flushed to the disk and renamed over the name. When anything fails,
/// the old file is left exactly as it was and the temporary file is removed.
namespace murmeli::common::AtomicFile {

/// What happens to something other than a regular file under the name.
enum class Links {
    Follow, // a symbolic link stays and the file it leads to is replaced (the user may keep the file elsewhere)
    Replace, // whatever is there is replaced by the file: for folders where nobody else plants links
    Refuse, // the write fails unless the name holds a regular file or nothing
};

struct Options {
    /// The permission bits of a file that did not exist (narrowed by the umask); a replaced file keeps its own.
    uint newFileMode = 0644;
    /// The file gets exactly newFileMode even when it replaces one with other bits: for files that must stay private.
    bool forceMode = false;
    Links links = Links::Follow;
    /// Whether the bytes reach the disk before the rename. Files rewritten constantly that describe only the moment
    /// skip it: a crash may lose one of them, never tear it.
    bool durable = true;
};

/// Whether the file at path (or a new one there) may be written: not when the file or its folder is read-only as
/// its owner made it, which holds for root as well, who could write either; problem (when given) says why not.
bool mayWrite(const QString& path, const Options& options = {}, QString* problem = nullptr);

/// Replaces the file at path with bytes; false when it could not, and problem (when given) says why.
bool write(const QString& path, const QByteArray& bytes, const Options& options = {}, QString* problem = nullptr);

} // namespace murmeli::common::AtomicFile
