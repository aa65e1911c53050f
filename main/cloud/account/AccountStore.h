#pragma once

#include <QString>

#include <QCoroTask>

#include "main/cloud/account/AccountSession.h"
#include "main/cloud/api/AuthError.h"

namespace murmeli::cloud {

/// Keeps the cloud session between runs and checks it against the service.
class AccountStore {
public:
    AccountStore() = default;
    virtual ~AccountStore() = default;
    Q_DISABLE_COPY_MOVE(AccountStore)

    /// Whether a non-empty session token is stored.
    virtual bool hasStoredToken() const = 0;
    /// The stored account e-mail; "" when none.
    virtual QString storedEmail() const = 0;
    /// Asks the service to e-mail a sign-in code; its error passes through.
    virtual QCoro::Task<AuthResult<Done>> requestCode(QString email) = 0;
    /// Exchanges e-mail and code for a session and stores it; nothing is stored on an error.
    virtual QCoro::Task<AuthResult<AccountSession>> verifyCode(QString email, QString code) = 0;
    /// Checks the stored token against the service; never fails, only an unauthorized answer deletes anything.
    virtual QCoro::Task<AccountValidation> validateStoredSession() = 0;
    /// Ends the session on the service when one is stored, and deletes both stored items in every case.
    virtual QCoro::Task<> signOut() = 0;
};

} // namespace murmeli::cloud
