#include "platform/secrets/fake/FakeSecretStore.h"

namespace murmeli::platform {

bool FakeSecretStore::isAvailable() const
{
    return m_available;
}

std::optional<QByteArray> FakeSecretStore::load(const QString& service, const QString& account) const
{
    ++m_loadCount;
    if (!m_available) {
        return std::nullopt;
    }
    const auto it = m_items.find(Key(service, account));
    if (it == m_items.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool FakeSecretStore::save(const QString& service, const QString& account, const QByteArray& value)
{
    ++m_saveCount;
    if (!m_available || m_failSaves) {
        return false;
    }
    m_items[Key(service, account)] = value;
    return true;
}

bool FakeSecretStore::remove(const QString& service, const QString& account)
{
    ++m_removeCount;
    if (!m_available) {
        return false;
    }
    m_items.erase(Key(service, account));
    return true;
}

QString FakeSecretStore::backendName() const
{
    return QStringLiteral("fake");
}

} // namespace murmeli::platform
