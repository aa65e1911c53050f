#pragma once

#include <QString>

namespace murmeli::cloud {

/// A signed-in cloud session as the session store hands it out.
struct AccountSession final {
    QString token;
    QString email;
    /// -1 when unknown.
    qint64 minutesLeft = -1;
    /// The plan name; empty when unknown.
    QString tier;

    bool operator==(const AccountSession&) const = default;
};

/// What checking the stored session against the service found.
struct AccountValidation final {
    enum class Kind {
        Valid, ///< the token is accepted; session carries the fresh account values
        Transient, ///< the check failed for a reason that does not condemn the token; message says why
        SignedOut, ///< no token is stored; nothing was sent
        Unauthorized, ///< the service refused the token; both stored items are gone
    };

    Kind kind = Kind::SignedOut;
    AccountSession session;
    QString message;

    static AccountValidation valid(AccountSession session) { return { Kind::Valid, std::move(session), {} }; }
    static AccountValidation transient(QString message) { return { Kind::Transient, {}, std::move(message) }; }
    static AccountValidation signedOut() { return { Kind::SignedOut, {}, {} }; }
    static AccountValidation unauthorized() { return { Kind::Unauthorized, {}, {} }; }

    bool operator==(const AccountValidation&) const = default;
};

} // namespace murmeli::cloud
