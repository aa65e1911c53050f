#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include <QCoroTask>

#include "main/cloud/api/AccountInfo.h"
#include "main/cloud/api/AuthError.h"
#include "main/cloud/api/CloudHttpClient.h"

namespace murmeli::cloud {

/// The client of the cloud account service: e-mail code sign-in, sign-out, the account record and the checkout
/// page. Each operation sends one request (no retry) and maps the reply to a value or an AuthError. It keeps nothing
/// between calls; a copy is cheap and shares the HTTP client, so callers hold their own.
class CloudAuth final {
public:
    static constexpr qint64 requestTimeoutMs = 15'000;
    static constexpr qint64 logoutTimeoutMs = 10'000;
    /// A service error code longer than this is cut: it ends up in a user text and in log lines.
    static constexpr qsizetype maxErrorCodeLength = 120;

    struct VerifyResult final {
        /// The session bearer token; never empty.
        QString token;
        QString email;
        /// -1 when the reply gave no balance.
        qint64 minutesLeft = -1;

        bool operator==(const VerifyResult&) const = default;
    };

    struct BillingCheckoutResult final {
        /// The checkout page as the service sent it; not yet checked as an address.
        QString url;

        bool operator==(const BillingCheckoutResult&) const = default;
    };

    struct ErrorBody final {
        QString code;
        QString message;

        bool operator==(const ErrorBody&) const = default;
    };

    /// baseURL is the service's origin without a trailing slash; paths are appended to it as they are.
    CloudAuth(std::shared_ptr<CloudHttpClient> http, QString baseURL);

    const QString& baseURL() const { return m_baseURL; }
    const std::shared_ptr<CloudHttpClient>& http() const { return m_http; }

    /// Asks the service to e-mail a sign-in code; the address is sent as given.
    QCoro::Task<AuthResult<Done>> requestCode(QString email) const;
    /// Exchanges the e-mail and the code for a session.
    QCoro::Task<AuthResult<VerifyResult>> verifyCode(QString email, QString code) const;
    /// Ends the session of token on the service.
    QCoro::Task<AuthResult<Done>> logout(QString token) const;
    /// Reads the account of token.
    QCoro::Task<AuthResult<AccountInfo>> fetchAccount(QString token) const;
    /// Asks for a checkout page to buy minutes.
    QCoro::Task<AuthResult<BillingCheckoutResult>> requestBillingCheckout(QString token) const;

    /// The seconds a 429 asks to wait: the "Retry-After" header when it is a whole decimal number (an optional sign,
    /// nothing else, within 64 bits), else the body's "retry_after" when that is a number with an integer value.
    static std::optional<qint64> parseRetryAfter(
        const std::optional<QByteArray>& retryAfterHeader, const QByteArray& body);
    /// The "error" and "message" texts of an error reply; each empty when missing, both when the body is no object.
    static ErrorBody parseErrorBody(const QByteArray& body);

private:
    QCoro::Task<std::variant<CloudHttpClient::Reply, AuthError>> perform(QByteArray method, QString path,
        std::optional<QString> bearer, std::optional<QByteArray> body, qint64 timeoutMs) const;

    std::shared_ptr<CloudHttpClient> m_http;
    QString m_baseURL;
};

} // namespace murmeli::cloud
