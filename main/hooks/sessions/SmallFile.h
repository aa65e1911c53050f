#pragma once

#include <optional>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace murmeli::hooks::SmallFile {

/// Session files are a few hundred bytes; anything larger than this is not one of them.
inline constexpr qint64 maxBytes = 1024 * 1024;

/// The bytes of a regular file of at most `limit` bytes; nullopt for anything else (a FIFO or device would block).
std::optional<QByteArray> read(const QString& path, qint64 limit = maxBytes);

/// The bytes parsed as a JSON object; nullopt when they do not parse or are not an object.
std::optional<QJsonObject> parseObject(const QByteArray& bytes);

/// The file parsed as a JSON object; nullopt when it cannot be read, does not parse, or is not an object.
std::optional<QJsonObject> readObject(const QString& path);

/// Replaces the file whole (a temporary file beside it, then a rename), so readers see the old or the new content.
/// No fsync: these files describe the moment and are rewritten constantly; a crash may lose one, never tear it.
bool writeAtomically(const QString& path, const QByteArray& bytes);

} // namespace murmeli::hooks::SmallFile
