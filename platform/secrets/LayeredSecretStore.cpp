#include "platform/secrets/LayeredSecretStore.h"

#include <algorithm>
#include <utility>

namespace murmeli::platform {

LayeredSecretStore::LayeredSecretStore(std::shared_ptr<SecretStore> first, std::shared_ptr<SecretStore> second)
    : m_first(std::move(first)), m_second(std::move(second))
{
}

bool LayeredSecretStore::isAvailable() const
{
    return (m_first && m_first->isAvailable()) || (m_second && m_second->isAvailable());
}

std::optional<QByteArray> LayeredSecretStore::load(const QString& service, const QString& account) const
{
    const std::vector<QByteArray> copies = loadEach(service, account);
    return copies.empty() ? std::nullopt : std::optional(copies.front());
}

std::vector<QByteArray> LayeredSecretStore::loadEach(const QString& service, const QString& account) const
{
    std::vector<QByteArray> copies;
    for (const std::shared_ptr<SecretStore>& store : { m_first, m_second }) {
        if (!store) {
            continue;
        }
        // An empty item reads as none stored, as KeychainStore reads it.
        for (const QByteArray& copy : store->loadEach(service, account)) {
            if (!copy.isEmpty() && std::find(copies.begin(), copies.end(), copy) == copies.end()) {
                copies.push_back(copy);
            }
        }
    }
    return copies;
}

bool LayeredSecretStore::save(const QString& service, const QString& account, const QByteArray& value)
{
    // The first where it takes it: a program that cannot reach the second must find what another one stored. Where
    // it refuses (its file is a link, its folder read-only) the second keeps the value rather than nothing at all.
    if (m_first && m_first->save(service, account, value)) {
        return true;
    }
    return m_second && m_second != m_first && m_second->save(service, account, value);
}

bool LayeredSecretStore::remove(const QString& service, const QString& account)
{
    // Both copies go: one left behind would still be read.
    const bool first = !m_first || m_first->remove(service, account);
    const bool second = !m_second || m_second == m_first || m_second->remove(service, account);
    return first && second;
}

std::vector<SecretNotice> LayeredSecretStore::check(
    const QString& service, const QString& account, const ValueCheck& usable)
{
    std::vector<SecretNotice> notices
        = m_first ? m_first->check(service, account, usable) : std::vector<SecretNotice> {};
    if (m_second && m_second != m_first) {
        // Two stores may keep their items in one place (a file store each where no keyring answers): said once.
        for (SecretNotice& notice : m_second->check(service, account, usable)) {
            const auto same = [&](const SecretNotice& seen) { return seen.text == notice.text; };
            if (std::none_of(notices.begin(), notices.end(), same)) {
                notices.push_back(std::move(notice));
            }
        }
    }
    return notices;
}

QString LayeredSecretStore::backendName() const
{
    const auto name = [](const std::shared_ptr<SecretStore>& store) {
        return store ? store->backendName() : QStringLiteral("none");
    };
    return name(m_first) + QLatin1Char('+') + name(m_second);
}

} // namespace murmeli::platform
