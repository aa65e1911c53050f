#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks::SmallFile {

/// The bytes of a regular file of at most `limit` bytes; nullopt for anything else (a FIFO or device would block).
std::optional<QByteArray> read(const QString& path, qint64 limit = StatusFiles::maxSessionFileBytes);

/// A file read together with the time it was last modified.
struct TimedBytes {
    QByteArray bytes;
    QDateTime modified;
};

/// A regular file of at most `limit` bytes that belongs to this user, opened without following a symbolic link;
/// nullopt for anything else, and for a file last modified at or before `notBefore` (whose bytes are then not
/// read). For files in a shared directory, where others could plant a file or a link under the name.
std::optional<TimedBytes> readOwn(
    const QString& path, const QDateTime& notBefore, qint64 limit = StatusFiles::maxSessionFileBytes);

/// The bytes parsed as a JSON object; nullopt when they do not parse or are not an object.
std::optional<QJsonObject> parseObject(const QByteArray& bytes);

/// The file parsed as a JSON object; nullopt when it cannot be read, does not parse, or is not an object.
std::optional<QJsonObject> readObject(const QString& path);

/// Replaces the file whole (a temporary file beside it, then a rename), so readers see the old or the new content.
/// No fsync: these files describe the moment and are rewritten constantly; a crash may lose one, never tear it.
/// On failure, problem (when given) says why.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* problem = nullptr);

} // namespace murmeli::hooks::SmallFile
