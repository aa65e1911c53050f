#include "platform/secrets/SecretStoreFactory.h"

#include "platform/secrets/LayeredSecretStore.h"
#include "platform/secrets/file/FileSecretStore.h"

#ifdef MURMELI_HAVE_LIBSECRET
#include "platform/secrets/libsecret/LibsecretSecretStore.h"
#endif

namespace murmeli::platform {

std::unique_ptr<SecretStore> makeSecretStore()
{
    // Tests, CI and headless runs set this so they never touch (or wait up to the probe timeout for) the user's
    // keyring, and so a shell script and murmeli agree on one place for the secret without a D-Bus session.
    if (qEnvironmentVariable("MURMELI_SECRETS_BACKEND") == QLatin1String("file")) {
        return std::make_unique<FileSecretStore>(FileSecretStore::standardDirectory());
    }
#ifdef MURMELI_HAVE_LIBSECRET
    auto keyring = std::make_unique<LibsecretSecretStore>();
    if (keyring->isAvailable()) {
        return keyring;
    }
#endif
    return std::make_unique<FileSecretStore>(FileSecretStore::standardDirectory());
}

std::unique_ptr<SecretStore> makeHookSecretStore(std::shared_ptr<SecretStore> session)
{
    return std::make_unique<LayeredSecretStore>(
        std::make_shared<FileSecretStore>(FileSecretStore::standardDirectory()), std::move(session));
}

} // namespace murmeli::platform
