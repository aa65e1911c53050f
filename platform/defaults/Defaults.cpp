#include "platform/defaults/Defaults.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"

namespace murmeli::platform {

namespace {

// Far beyond any real defaults file; a bigger one is not ours and is set aside rather than read into memory.
constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

constexpr QFile::Permissions ownerOnlyDirectory = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Creates each missing directory on the way to path as 0700; existing ones are left as their owner set them.
bool makePrivateDirectory(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        return true;
    }
    if (info.exists()) {
        return false;
    }
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !makePrivateDirectory(parent)) {
        return false;
    }
    return QDir().mkdir(info.absoluteFilePath(), ownerOnlyDirectory) || QFileInfo(path).isDir();
}

} // namespace

Defaults::Defaults(QString filePath) : m_filePath(std::move(filePath))
{
    load();
}

QString Defaults::standardFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules say a relative value is invalid and must be ignored.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/murmeli/defaults.json");
}

void Defaults::load()
{
    const auto setAside = [this](const QString& why) {
        m_loadError = QStringLiteral("%1 %2; starting with empty defaults, and the file is moved to %1.corrupt "
                                     "before it is replaced")
                          .arg(m_filePath, why);
        m_unreadableFileOnDisk = true;
    };
    // Read at start-up, before anything listens: a FIFO or a device under the name must cost nothing.
    common::BoundedFile file(m_filePath);
    const std::optional<QByteArray> bytes = file.isOpen() ? file.readAll(maxFileBytes) : std::nullopt;
    switch (file.problem()) {
    case common::FileProblem::None:
        break;
    case common::FileProblem::Missing:
        return;
    case common::FileProblem::NotRegularFile:
        setAside(QStringLiteral("is not a regular file"));
        return;
    case common::FileProblem::TooLarge:
        setAside(QStringLiteral("is larger than %1 bytes").arg(maxFileBytes));
        return;
    case common::FileProblem::Unreadable:
        setAside(QStringLiteral("could not be read (%1)").arg(file.errorText()));
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.value_or(QByteArray()), &error);
    if (error.error != QJsonParseError::NoError) {
        setAside(QStringLiteral("is not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
        return;
    }
    if (!document.isObject()) {
        setAside(QStringLiteral("does not hold a JSON object"));
        return;
    }
    m_values = document.object();
}

QString Defaults::loadError() const
{
    const std::lock_guard lock(m_mutex);
    return m_loadError;
}

std::optional<bool> Defaults::boolValue(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isBool() ? std::optional(v.toBool()) : std::nullopt;
}

std::optional<qint64> Defaults::intValue(const QString& key) const
{
    const QJsonValue v = value(key);
    if (!v.isDouble()) {
        return std::nullopt;
    }
    // toInteger() falls back to its argument for anything that is not a whole qint64, so two different
    // fallbacks agreeing means the number really is one. This keeps 64-bit values exact, unlike toDouble().
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a == b) {
        return a;
    }
    return std::nullopt;
}

std::optional<double> Defaults::doubleValue(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}

std::optional<QString> Defaults::stringValue(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}

std::optional<QJsonObject> Defaults::objectValue(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isObject() ? std::optional(v.toObject()) : std::nullopt;
}

std::optional<QJsonArray> Defaults::arrayValue(const QString& key) const
{
    const QJsonValue v = value(key);
    return v.isArray() ? std::optional(v.toArray()) : std::nullopt;
}

QJsonValue Defaults::value(const QString& key) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_values.constFind(key);
    return it == m_values.constEnd() ? QJsonValue(QJsonValue::Undefined) : it.value();
}

bool Defaults::contains(const QString& key) const
{
    const std::lock_guard lock(m_mutex);
    return m_values.contains(key);
}

QStringList Defaults::keys() const
{
    const std::lock_guard lock(m_mutex);
    QStringList result = m_values.keys();
    std::sort(result.begin(), result.end());
    return result;
}

bool Defaults::setValue(const QString& key, const QJsonValue& value)
{
    if (value.isNull() || value.isUndefined()) {
        return remove(key);
    }
    if (key.isEmpty()) {
        return false;
    }
    const std::lock_guard lock(m_mutex);
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd() && it.value() == value && !m_unsaved) {
        return true;
    }
    m_values.insert(key, value);
    return saveLocked();
}

bool Defaults::remove(const QString& key)
{
    const std::lock_guard lock(m_mutex);
    if (!m_values.contains(key) && !m_unsaved) {
        return true;
    }
    m_values.remove(key);
    return saveLocked();
}

bool Defaults::removeKeysWithPrefix(const QString& prefix)
{
    const std::lock_guard lock(m_mutex);
    bool removed = false;
    for (auto it = m_values.begin(); it != m_values.end();) {
        if (it.key().startsWith(prefix)) {
            it = m_values.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    if (!removed && !m_unsaved) {
        return true;
    }
    return saveLocked();
}

bool Defaults::setAsideUnreadableFileLocked()
{
    if (!m_unreadableFileOnDisk) {
        return true;
    }
    // A rename keeps the bytes exactly and needs no read access to the file, only to its directory.
    const QString corruptPath = m_filePath + QStringLiteral(".corrupt");
    if (QFileInfo::exists(corruptPath) && !QFile::remove(corruptPath)) {
        return false;
    }
    if (!QFile::rename(m_filePath, corruptPath)) {
        return false;
    }
    m_unreadableFileOnDisk = false;
    return true;
}

bool Defaults::saveLocked()
{
    m_unsaved = true;
    if (!makePrivateDirectory(QFileInfo(m_filePath).absolutePath()) || !setAsideUnreadableFileLocked()) {
        return false;
    }
    // Private from the first byte, whatever mode an earlier file had.
    common::AtomicFile::Options options;
    options.newFileMode = 0600;
    options.forceMode = true;
    if (!common::AtomicFile::write(m_filePath, QJsonDocument(m_values).toJson(QJsonDocument::Indented), options)) {
        return false;
    }
    m_unsaved = false;
    return true;
}

} // namespace murmeli::platform
