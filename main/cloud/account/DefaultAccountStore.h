#pragma once

#include <functional>

#include <QString>

#include "main/cloud/account/AccountStore.h"
#include "main/cloud/api/CloudAuth.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::cloud {

/// The session store over two secret items of one service: the bearer token and the account e-mail. It caches
/// nothing; every read goes to the secret store. Its network operations are replaceable and default to a CloudAuth.
class DefaultAccountStore final : public AccountStore {
public:
    static constexpr auto defaultTokenAccount = "session-token";
    static constexpr auto defaultEmailAccount = "account-email";

    using RequestCodeImpl = std::function<QCoro::Task<AuthResult<Done>>(QString email)>;
    using VerifyCodeImpl = std::function<QCoro::Task<AuthResult<CloudAuth::VerifyResult>>(QString email, QString code)>;
    using FetchAccountImpl = std::function<QCoro::Task<AuthResult<AccountInfo>>(QString token)>;
    using LogoutImpl = std::function<QCoro::Task<AuthResult<Done>>(QString token)>;

    DefaultAccountStore(platform::KeychainStore keychain, CloudAuth auth,
        QString service = QString::fromLatin1(platform::KeychainStore::cloudService),
        QString tokenAccount = QString::fromLatin1(defaultTokenAccount),
        QString emailAccount = QString::fromLatin1(defaultEmailAccount));

    RequestCodeImpl requestCodeImpl;
    VerifyCodeImpl verifyCodeImpl;
    FetchAccountImpl fetchAccountImpl;
    LogoutImpl logoutImpl;

    const QString& service() const { return m_service; }
    const QString& tokenAccount() const { return m_tokenAccount; }
    const QString& emailAccount() const { return m_emailAccount; }

    /// The stored token; "" when none.
    QString storedToken() const;

    bool hasStoredToken() const override;
    QString storedEmail() const override;
    QCoro::Task<AuthResult<Done>> requestCode(QString email) override;
    QCoro::Task<AuthResult<AccountSession>> verifyCode(QString email, QString code) override;
    QCoro::Task<AccountValidation> validateStoredSession() override;
    QCoro::Task<> signOut() override;

private:
    // What an operation needs of the store once it has suspended: the store itself may be gone by then.
    struct Items final {
        platform::KeychainStore keychain;
        QString service;
        QString tokenAccount;
        QString emailAccount;

        void saveEmail(const QString& email);
        void deleteBoth();
    };
    Items items() const { return { m_keychain, m_service, m_tokenAccount, m_emailAccount }; }

    platform::KeychainStore m_keychain;
    QString m_service;
    QString m_tokenAccount;
    QString m_emailAccount;
};

} // namespace murmeli::cloud
