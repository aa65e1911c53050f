#pragma once

#include <memory>

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

/// Two stores seen as one, for a secret that programs of the same user must share whether or not they reach the
/// desktop's session bus: an item is read from the first store that holds it, written to the first (to the second
/// when the first refuses), removed from both, and checked in both; loadEach() gives the copy of each.
class LayeredSecretStore final : public SecretStore {
public:
    /// Either may be null; both may be the same store.
    LayeredSecretStore(std::shared_ptr<SecretStore> first, std::shared_ptr<SecretStore> second);

    bool isAvailable() const override;
    std::optional<QByteArray> load(const QString& service, const QString& account) const override;
    std::vector<QByteArray> loadEach(const QString& service, const QString& account) const override;
    bool save(const QString& service, const QString& account, const QByteArray& value) override;
    bool remove(const QString& service, const QString& account) override;
    std::vector<SecretNotice> check(const QString& service, const QString& account, const ValueCheck& usable) override;
    QString backendName() const override;

private:
    std::shared_ptr<SecretStore> m_first;
    std::shared_ptr<SecretStore> m_second;
};

} // namespace murmeli::platform
