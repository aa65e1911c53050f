#pragma once

#include <memory>

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

/// The secret store for this session: the Secret Service when it answers, else the file store in
/// FileSecretStore::standardDirectory(); MURMELI_SECRETS_BACKEND=file forces the file store.
std::unique_ptr<SecretStore> makeSecretStore();

} // namespace murmeli::platform
