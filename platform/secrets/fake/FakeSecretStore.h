#pragma once

#include <map>
#include <utility>

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

/// An in-memory store for tests: records how often it was asked and can be told to be unavailable or to fail saves.
class FakeSecretStore final : public SecretStore {
public:
    using Key = std::pair<QString, QString>;

    FakeSecretStore() = default;

    bool isAvailable() const override;
    std::optional<QByteArray> load(const QString& service, const QString& account) const override;
    bool save(const QString& service, const QString& account, const QByteArray& value) override;
    bool remove(const QString& service, const QString& account) override;
    QString backendName() const override;

    /// An unavailable fake refuses every operation, as a real backend without its service does.
    void setAvailable(bool available) { m_available = available; }
    /// While set, save() fails and leaves the stored items untouched.
    void setFailSaves(bool fail) { m_failSaves = fail; }

    const std::map<Key, QByteArray>& items() const { return m_items; }
    int loadCount() const { return m_loadCount; }
    int saveCount() const { return m_saveCount; }
    int removeCount() const { return m_removeCount; }

private:
    std::map<Key, QByteArray> m_items;
    bool m_available = true;
    bool m_failSaves = false;
    mutable int m_loadCount = 0;
    int m_saveCount = 0;
    int m_removeCount = 0;
};

} // namespace murmeli::platform
