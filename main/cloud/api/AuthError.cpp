#include "main/cloud/api/AuthError.h"

namespace murmeli::cloud {

QString AuthError::errorDescription() const
{
    switch (m_kind) {
    case Kind::RateLimited:
        return m_retryAfterSec ? QStringLiteral("Please wait %1s before trying again.").arg(*m_retryAfterSec)
                               : QStringLiteral("Too many attempts — please wait a moment.");
    case Kind::Network:
        return QStringLiteral("Network error: ") + m_message;
    case Kind::Server:
        return m_code ? QStringLiteral("Server error (%1 · %2).").arg(m_status).arg(*m_code)
                      : QStringLiteral("Server error (%1).").arg(m_status);
    case Kind::InvalidCode:
        return QStringLiteral("Invalid or expired code. Request a new one.");
    case Kind::Unauthorized:
        return QStringLiteral("Session expired. Please sign in again.");
    case Kind::BillingUnavailable:
        return QStringLiteral("Top up unavailable, try again later.");
    case Kind::BadResponse:
        return QStringLiteral("Unexpected response from server.");
    }
    return QStringLiteral("Unexpected response from server.");
}

} // namespace murmeli::cloud
