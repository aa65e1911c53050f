#pragma once

#include <memory>

#include "platform/secrets/SecretStore.h"

namespace murmeli::platform {

/// The secret store for this session: the Secret Service when it answers, else the file store in
/// FileSecretStore::standardDirectory(); MURMELI_SECRETS_BACKEND=file forces the file store.
std::unique_ptr<SecretStore> makeSecretStore();

/// Where the hooks' shared secret is kept: the file store first, then the given store of this session. An installer
/// run where no Secret Service answers can only reach the file, so a new secret goes there wherever it is made, and
/// one that an earlier install left in the session's store is still found.
std::unique_ptr<SecretStore> makeHookSecretStore(std::shared_ptr<SecretStore> session);

} // namespace murmeli::platform
