#pragma once

#include <QString>

namespace murmeli::cloud {

/// Why a gift-code redemption failed, with the text the redeem row shows.
class GiftCardError final {
public:
    enum class Kind {
        Server, ///< a status the endpoint does not name; carries it
        Network, ///< no usable answer; carries the reason
        InvalidCode, ///< 404
        Expired, ///< 410
        AlreadyByOther, ///< 409: another account redeemed it
        Unauthorized, ///< 401, or no session to send
        RateLimited, ///< 429
    };

    static GiftCardError server(int status) { return GiftCardError(Kind::Server, status, {}); }
    static GiftCardError network(QString message) { return GiftCardError(Kind::Network, 0, std::move(message)); }
    static GiftCardError invalidCode() { return GiftCardError(Kind::InvalidCode, 0, {}); }
    static GiftCardError expired() { return GiftCardError(Kind::Expired, 0, {}); }
    static GiftCardError alreadyByOther() { return GiftCardError(Kind::AlreadyByOther, 0, {}); }
    static GiftCardError unauthorized() { return GiftCardError(Kind::Unauthorized, 0, {}); }
    static GiftCardError rateLimited() { return GiftCardError(Kind::RateLimited, 0, {}); }

    Kind kind() const { return m_kind; }
    /// The HTTP status of a Server error, else 0.
    int status() const { return m_status; }
    /// The reason of a Network error, else "".
    const QString& message() const { return m_message; }
    /// The user-facing text.
    QString userMessage() const;

    bool operator==(const GiftCardError&) const = default;

private:
    GiftCardError(Kind kind, int status, QString message)
        : m_kind(kind), m_status(status), m_message(std::move(message))
    {
    }

    Kind m_kind = Kind::Network;
    int m_status = 0;
    QString m_message;
};

} // namespace murmeli::cloud
