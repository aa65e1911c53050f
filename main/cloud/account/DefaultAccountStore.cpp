#include "main/cloud/account/DefaultAccountStore.h"

namespace murmeli::cloud {

DefaultAccountStore::DefaultAccountStore(
    platform::KeychainStore keychain, CloudAuth auth, QString service, QString tokenAccount, QString emailAccount)
    : requestCodeImpl([auth](QString email) { return auth.requestCode(std::move(email)); }),
      verifyCodeImpl(
          [auth](QString email, QString code) { return auth.verifyCode(std::move(email), std::move(code)); }),
      fetchAccountImpl([auth](QString token) { return auth.fetchAccount(std::move(token)); }),
      logoutImpl([auth](QString token) { return auth.logout(std::move(token)); }), m_keychain(std::move(keychain)),
      m_service(std::move(service)), m_tokenAccount(std::move(tokenAccount)), m_emailAccount(std::move(emailAccount))
{
}

void DefaultAccountStore::Items::saveEmail(const QString& email)
{
    // A record without an e-mail says nothing about the account's address; the one stored stays.
    if (!email.isEmpty()) {
        keychain.save(service, emailAccount, email);
    }
}

void DefaultAccountStore::Items::deleteBoth()
{
    keychain.remove(service, tokenAccount);
    keychain.remove(service, emailAccount);
}

QString DefaultAccountStore::storedToken() const
{
    return m_keychain.load(m_service, m_tokenAccount);
}

bool DefaultAccountStore::hasStoredToken() const
{
    return !storedToken().isEmpty();
}

QString DefaultAccountStore::storedEmail() const
{
    return m_keychain.load(m_service, m_emailAccount);
}

QCoro::Task<AuthResult<Done>> DefaultAccountStore::requestCode(QString email)
{
    // The operation is copied into the frame: the store may replace or lose it while the request runs.
    const RequestCodeImpl request = requestCodeImpl;
    co_return co_await request(std::move(email));
}

QCoro::Task<AuthResult<AccountSession>> DefaultAccountStore::verifyCode(QString email, QString code)
{
    const VerifyCodeImpl verify = verifyCodeImpl;
    Items stored = items();
    const AuthResult<CloudAuth::VerifyResult> result = co_await verify(std::move(email), std::move(code));
    if (const AuthError* error = failure(result)) {
        co_return *error;
    }
    const auto& verified = std::get<CloudAuth::VerifyResult>(result);
    stored.keychain.save(stored.service, stored.tokenAccount, verified.token);
    stored.saveEmail(verified.email);
    co_return AccountSession { verified.token, verified.email, verified.minutesLeft, QString() };
}

QCoro::Task<AccountValidation> DefaultAccountStore::validateStoredSession()
{
    const QString token = storedToken();
    if (token.isEmpty()) {
        co_return AccountValidation::signedOut();
    }
    const FetchAccountImpl fetch = fetchAccountImpl;
    Items stored = items();
    const AuthResult<AccountInfo> result = co_await fetch(token);
    if (const AuthError* error = failure(result)) {
        if (error->kind() == AuthError::Kind::Unauthorized) {
            stored.deleteBoth();
            co_return AccountValidation::unauthorized();
        }
        co_return AccountValidation::transient(error->errorDescription());
    }
    const auto& account = std::get<AccountInfo>(result);
    stored.saveEmail(account.email);
    const QString email
        = account.email.isEmpty() ? stored.keychain.load(stored.service, stored.emailAccount) : account.email;
    co_return AccountValidation::valid(AccountSession { token, email, account.minutesLeft, account.tier });
}

QCoro::Task<> DefaultAccountStore::signOut()
{
    const QString token = storedToken();
    Items stored = items();
    if (!token.isEmpty()) {
        const LogoutImpl logout = logoutImpl;
        // Whatever the service says, the session ends here.
        co_await logout(token);
    }
    stored.deleteBoth();
}

} // namespace murmeli::cloud
