#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

/// Text secrets (API keys, the hooks' shared secret) on top of a platform secret store; never throws, never logs:
/// what check() finds is the caller's to say.
class KeychainStore final {
public:
    explicit KeychainStore(std::shared_ptr<platform::SecretStore> store);

    static constexpr const char* cloudService = "com.murmeli.apikey.murmeli-cloud";
    static constexpr const char* hookAuthService = "com.murmeli.apikey.hook-auth";

    /// The stored text, or "" when there is no item, the store refuses, or the bytes are not valid UTF-8.
    QString load(const QString& service, const QString& account) const;
    /// Every text the store keeps for the item (a store made of others may keep more than one), each decoded as load()
    /// decodes it; empty and undecodable copies are left out.
    QStringList loadEach(const QString& service, const QString& account) const;
    /// Stores value as UTF-8 in place of any earlier one ("" included); true on success.
    bool save(const QString& service, const QString& account, const QString& value);
    /// Deletes the item; true when it was removed or was not there.
    bool remove(const QString& service, const QString& account);
    /// What the store repaired of the item, or why a copy of it will not be read or cannot be used
    /// (SecretStore::check).
    std::vector<SecretNotice> check(
        const QString& service, const QString& account, const SecretStore::ValueCheck& usable);

private:
    std::shared_ptr<platform::SecretStore> m_store;
};

} // namespace murmeli::platform
