#include "main/hooks/sessions/SmallFile.h"

#include <QJsonDocument>

#include <unistd.h>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"

namespace murmeli::hooks::SmallFile {

std::optional<QByteArray> read(const QString& path, qint64 limit)
{
    return common::BoundedFile::read(path, limit);
}

std::optional<TimedBytes> readOwn(const QString& path, const QDateTime& notBefore, qint64 limit)
{
    common::BoundedFile file(path, common::BoundedFile::Links::Refuse);
    if (!file.isOpen() || file.ownerId() != ::getuid() || file.modified() <= notBefore) {
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = file.readAll(limit);
    if (!bytes) {
        return std::nullopt;
    }
    return TimedBytes { std::move(*bytes), file.modified() };
}

std::optional<QJsonObject> readObject(const QString& path)
{
    const auto bytes = read(path);
    return bytes ? parseObject(*bytes) : std::nullopt;
}

std::optional<QJsonObject> parseObject(const QByteArray& bytes)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* problem)
{
    // The status folder is ours alone (checked before every write), so whatever sits under a name is replaced.
    common::AtomicFile::Options options;
    options.newFileMode = 0600;
    options.links = common::AtomicFile::Links::Replace;
    options.durable = false;
    return common::AtomicFile::write(path, bytes, options, problem);
}

} // namespace murmeli::hooks::SmallFile
