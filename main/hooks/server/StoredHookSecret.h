#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/secrets/KeychainStore.h"

namespace murmeli::hooks {

/// The hooks' shared secret as it is stored, read the way the hook scripts read their copy of it: without the line
/// break (or any white space) that ends it, since an editor or `echo` adds one that no hook sends.
struct StoredHookSecret {
    /// Every copy that may be used, the one to hand to a new hook first.
    QStringList secrets;
    /// What was repaired of a stored copy or why it is not used, naming where it is kept.
    std::vector<platform::SecretNotice> notices;

    /// Whether a copy is stored that is not used: the hooks that hold it are refused, so the check must stay on.
    bool refused() const;
    /// Where each copy that is not used is kept and why, one line each.
    QStringList refusals() const;

    /// Repairs what may be repaired of the stored copies, then reads every one of them.
    static StoredHookSecret read(platform::KeychainStore& keychain);
    /// Why value cannot be the hooks' secret, or nullopt when it can: murmeli, `murmeli hooks secret` and so the hook
    /// scripts, whose copy it prints, take only what passes here, and a copy that does not is refused, never taken
    /// for none stored.
    static std::optional<QString> unusable(const QByteArray& value);
    /// A new secret nobody can guess: 64 hexadecimal digits.
    static QString fresh();
    /// The notice as a log line says it, after the speaker's tag.
    static QString describe(const platform::SecretNotice& notice);
};

} // namespace murmeli::hooks
