#pragma once

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

// Each item sits in the Secret Service's default collection with two string attributes,
//   service = <service>    account = <account>
// the label "murmeli: <service> <account>", content type text/plain, and the tag xdg:schema = com.murmeli.Secret
// that libsecret adds whenever it stores through a schema. The schema is flagged SECRET_SCHEMA_DONT_MATCH_NAME, so
// lookups and removals match on service and account alone and also find an item that a shell made with
//   secret-tool store --label='murmeli: <service> <account>' service <service> account <account>
// (secret-tool stores exactly the attributes it is given and no xdg:schema). Such an untagged item is replaced on the
// next save; a shell that adds `xdg:schema com.murmeli.Secret` to those attributes makes an item identical to ours.

/// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC) through libsecret.
class LibsecretSecretStore final : public SecretStore {
public:
    LibsecretSecretStore() = default;

    /// How long isAvailable() waits for the Secret Service to answer before treating it as absent.
    static constexpr int probeTimeoutMs = 2000;

    bool isAvailable() const override;
    std::optional<QByteArray> load(const QString& service, const QString& account) const override;
    bool save(const QString& service, const QString& account, const QByteArray& value) override;
    bool remove(const QString& service, const QString& account) override;
    QString backendName() const override;

private:
    // Asked once per store: the probe costs D-Bus round trips, and a service started later is found on the next launch.
    mutable std::optional<bool> m_available;
};

} // namespace murmeli::platform
