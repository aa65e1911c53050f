#pragma once

#include <mutex>
#include <optional>

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace murmeli::platform {

/// The user-defaults store: one JSON object in a file, so values keep their types, written atomically on every
/// change. Safe to use from any thread.
class Defaults final {
public:
    /// Loads filePath when it exists; an unreadable file leaves the store empty and is described by loadError().
    explicit Defaults(QString filePath);
    Defaults(const Defaults&) = delete;
    Defaults& operator=(const Defaults&) = delete;

    /// $XDG_CONFIG_HOME/murmeli/defaults.json, with ~/.config when XDG_CONFIG_HOME is unset or not absolute.
    static QString standardFilePath();

    /// Why the existing file could not be used, or "" when it loaded (or did not exist).
    QString loadError() const;

    /// The value when it is a JSON boolean.
    std::optional<bool> boolValue(const QString& key) const;
    /// The value when it is a whole number that fits in 64 bits.
    std::optional<qint64> intValue(const QString& key) const;
    /// The value when it is a JSON number (whole or not).
    std::optional<double> doubleValue(const QString& key) const;
    /// The value when it is a JSON string.
    std::optional<QString> stringValue(const QString& key) const;
    /// The value when it is a JSON object.
    std::optional<QJsonObject> objectValue(const QString& key) const;
    /// The value when it is a JSON array.
    std::optional<QJsonArray> arrayValue(const QString& key) const;
    /// The raw value; Undefined when the key is absent.
    QJsonValue value(const QString& key) const;
    /// Whether the key holds a value.
    bool contains(const QString& key) const;
    /// All keys, sorted.
    QStringList keys() const;

    /// Stores the value (Null or Undefined removes the key) and saves; false for an empty key or when the save
    /// failed, in which case the change stays in memory and is written with the next save.
    bool setValue(const QString& key, const QJsonValue& value);
    /// Removes the key and saves; false when the save failed.
    bool remove(const QString& key);
    /// Removes every key that starts with prefix and saves; false when the save failed.
    bool removeKeysWithPrefix(const QString& prefix);

private:
    void load();
    bool saveLocked();
    bool setAsideUnreadableFileLocked();

    mutable std::mutex m_mutex;
    QString m_filePath;
    QJsonObject m_values;
    QString m_loadError;
    // The file on disk could not be read as ours; it is moved aside before our first write replaces it.
    bool m_unreadableFileOnDisk = false;
    // Memory holds changes that an earlier save failed to write.
    bool m_unsaved = false;
};

} // namespace murmeli::platform
