#pragma once

#include <optional>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks::SmallFile {

/// The bytes of a regular file of at most `limit` bytes; nullopt for anything else (a FIFO or device would block).
std::optional<QByteArray> read(const QString& path, qint64 limit = StatusFiles::maxSessionFileBytes);

/// The bytes parsed as a JSON object; nullopt when they do not parse or are not an object.
std::optional<QJsonObject> parseObject(const QByteArray& bytes);

/// The file parsed as a JSON object; nullopt when it cannot be read, does not parse, or is not an object.
std::optional<QJsonObject> readObject(const QString& path);

/// Replaces the file whole (a temporary file beside it, then a rename), so readers see the old or the new content.
/// No fsync: these files describe the moment and are rewritten constantly; a crash may lose one, never tear it.
/// On failure, problem (when given) says why.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* problem = nullptr);

} // namespace murmeli::hooks::SmallFile
