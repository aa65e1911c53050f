#pragma once

#include <algorithm>
#include <optional>
#include <variant>

#include <QString>

namespace murmeli::cloud {

/// Why a call to the account service failed, with the English text the user may be shown.
class AuthError final {
public:
    enum class Kind {
        RateLimited, ///< 429; may carry the seconds to wait
        Network, ///< the request never got an HTTP answer (or could not be built); carries the reason
        Server, ///< a status the operation does not expect; carries it and the service's error code, if any
        InvalidCode, ///< the sign-in code was refused
        Unauthorized, ///< the session token was refused
        BillingUnavailable, ///< the checkout could not be started (502)
        BadResponse, ///< a 200 reply without the expected JSON, or a reply that is not HTTP
    };

    /// The longest wait a rate limit is shown with. The seconds come from the service and end up in a user text:
    /// beyond an hour the number is no advice a person can act on, and a garbled one could run to fifteen digits.
    static constexpr qint64 maxRetryAfterSec = 60 * 60;

    /// A negative wait is no wait the service can mean and counts as none; a longer one than maxRetryAfterSec is cut.
    static AuthError rateLimited(std::optional<qint64> retryAfterSec)
    {
        AuthError error(Kind::RateLimited);
        if (retryAfterSec && *retryAfterSec >= 0) {
            error.m_retryAfterSec = std::min(*retryAfterSec, maxRetryAfterSec);
        }
        return error;
    }
    static AuthError network(QString message)
    {
        AuthError error(Kind::Network);
        error.m_message = std::move(message);
        return error;
    }
    /// An empty code counts as none: the service sent no usable one.
    static AuthError server(int status, const std::optional<QString>& code = std::nullopt)
    {
        AuthError error(Kind::Server);
        error.m_status = status;
        if (code && !code->isEmpty()) {
            error.m_code = code;
        }
        return error;
    }
    static AuthError invalidCode() { return AuthError(Kind::InvalidCode); }
    static AuthError unauthorized() { return AuthError(Kind::Unauthorized); }
    static AuthError billingUnavailable() { return AuthError(Kind::BillingUnavailable); }
    static AuthError badResponse() { return AuthError(Kind::BadResponse); }

    Kind kind() const { return m_kind; }
    /// Seconds the service asked to wait, of a RateLimited error: 0 to maxRetryAfterSec.
    std::optional<qint64> retryAfterSec() const { return m_retryAfterSec; }
    /// The reason of a Network error.
    const QString& message() const { return m_message; }
    /// The HTTP status of a Server error, else 0.
    int status() const { return m_status; }
    /// The service's error code of a Server error; never empty when present.
    const std::optional<QString>& code() const { return m_code; }

    /// The user-facing text.
    QString errorDescription() const;

    bool operator==(const AuthError&) const = default;

private:
    explicit AuthError(Kind kind) : m_kind(kind) { }

    Kind m_kind = Kind::BadResponse;
    std::optional<qint64> m_retryAfterSec;
    QString m_message;
    int m_status = 0;
    std::optional<QString> m_code;
};

/// What an account operation gives: its value, or why it failed.
template <typename T> using AuthResult = std::variant<T, AuthError>;
/// The value of an operation that has none. Its own type rather than std::monostate: a coroutine's promise keeps
/// its result in a variant whose empty state is std::monostate, and a returned monostate would read as no result.
struct Done final {
    bool operator==(const Done&) const = default;
};

/// The error of a failed result, or null.
template <typename T> const AuthError* failure(const AuthResult<T>& result)
{
    return std::get_if<AuthError>(&result);
}

} // namespace murmeli::cloud
