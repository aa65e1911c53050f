#pragma once

#include <QString>

namespace murmeli::voice {

/// Why a call to the cloud worker's upload or account endpoint failed, with the text the user may be shown.
class CloudSTTError final {
public:
    enum class Kind {
        AuthError, ///< HTTP 401; carries the worker's reason
        ServerError, ///< any other status the call does not expect; carries it
        BadURL, ///< the worker address and path form no usable URL
        NetworkError, ///< the reply is not an HTTP response
        BadResponse, ///< status 200 without the expected JSON members
        QuotaExceeded, ///< HTTP 402 on the upload
        TransportError, ///< the network layer failed (refused, reset, TLS...); carries its own text
        TimedOut, ///< no complete reply within the call's time limit
    };

    static CloudSTTError authError(QString message) { return CloudSTTError(Kind::AuthError, 0, std::move(message)); }
    static CloudSTTError serverError(int status) { return CloudSTTError(Kind::ServerError, status, {}); }
    static CloudSTTError badURL() { return CloudSTTError(Kind::BadURL, 0, {}); }
    static CloudSTTError networkError() { return CloudSTTError(Kind::NetworkError, 0, {}); }
    static CloudSTTError badResponse() { return CloudSTTError(Kind::BadResponse, 0, {}); }
    static CloudSTTError quotaExceeded() { return CloudSTTError(Kind::QuotaExceeded, 0, {}); }
    static CloudSTTError transportError(QString text)
    {
        return CloudSTTError(Kind::TransportError, 0, std::move(text));
    }
    static CloudSTTError timedOut() { return CloudSTTError(Kind::TimedOut, 0, {}); }

    Kind kind() const { return m_kind; }
    /// The HTTP status of a ServerError, else 0.
    int status() const { return m_status; }
    /// The worker's reason of an AuthError or the network layer's text of a TransportError, else "".
    const QString& message() const { return m_message; }
    /// The user-facing text.
    QString description() const;

    bool operator==(const CloudSTTError&) const = default;

private:
    CloudSTTError(Kind kind, int status, QString message)
        : m_kind(kind), m_status(status), m_message(std::move(message))
    {
    }

    Kind m_kind = Kind::NetworkError;
    int m_status = 0;
    QString m_message;
};

} // namespace murmeli::voice
