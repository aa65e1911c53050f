#include "main/cloud/billing/GiftCardPhase.h"

namespace murmeli::cloud {

QString GiftCardPhase::statusLine() const
{
    switch (kind) {
    case Kind::Idle:
        return QStringLiteral("Paste a gift code to add minutes to your balance.");
    case Kind::Redeeming:
        return QStringLiteral("Verifying code with cloud…");
    case Kind::Succeeded:
        return QStringLiteral("Redeemed · +%1 min added. Refreshing balance…").arg(creditAdded);
    case Kind::AlreadyRedeemed:
        return QStringLiteral("This code was already redeemed by you. No additional minutes added.");
    case Kind::Failed:
        return error.userMessage();
    }
    return QString();
}

} // namespace murmeli::cloud
