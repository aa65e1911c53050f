#include "main/cloud/billing/GiftCardError.h"

namespace murmeli::cloud {

QString GiftCardError::userMessage() const
{
    switch (m_kind) {
    case Kind::Server:
        return QStringLiteral("Server error (%1) — please try again shortly.").arg(m_status);
    case Kind::Network:
        return QStringLiteral("Network error: ") + m_message;
    case Kind::InvalidCode:
        return QStringLiteral("Invalid gift code. Double-check the code and try again.");
    case Kind::Expired:
        return QStringLiteral("This gift code has expired.");
    case Kind::AlreadyByOther:
        return QStringLiteral("This code was already redeemed by another account.");
    case Kind::Unauthorized:
        return QStringLiteral("Session expired. Please sign out and sign in again.");
    case Kind::RateLimited:
        return QStringLiteral("Too many attempts. Please wait a minute and try again.");
    }
    return QStringLiteral("Network error: ") + m_message;
}

} // namespace murmeli::cloud
