#include "main/hooks/SmallFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace murmeli::hooks::SmallFile {

std::optional<QByteArray> read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxBytes) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.read(maxBytes);
}

std::optional<QJsonObject> readObject(const QString& path)
{
    const auto bytes = read(path);
    if (!bytes) {
        return std::nullopt;
    }
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

} // namespace murmeli::hooks::SmallFile
