#pragma once

#include <QString>

namespace murmeli::cloud {

/// What the application holds of the signed-in account for the panel, the device and the account pages: -1 balances
/// are unknown, times are Unix seconds (0 when unset). All empty or unknown while signed out.
struct AccountMirror final {
    QString email;
    /// The plan as the service names it ("free", "pay-go"); empty until the service has said.
    QString tier;
    qint64 minutesLeft = -1;
    qint64 quotaMinutes = 0;
    qint64 minutesUsed = -1;
    qint64 minutesUsedWeek = -1;
    qint64 monthResetAt = 0;
    qint64 weekResetAt = 0;

    bool operator==(const AccountMirror&) const = default;
};

} // namespace murmeli::cloud
