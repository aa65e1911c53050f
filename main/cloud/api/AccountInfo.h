#pragma once

#include <QJsonObject>
#include <QString>

namespace murmeli::cloud {

/// The cloud account record as the account service sends it from "/account".
struct AccountInfo final {
    qint64 userId = 0;
    QString email;
    /// The plan name; "free" when the record names none.
    QString tier = QStringLiteral("free");
    qint64 quotaMinutes = 0;
    qint64 quotaMinutesTotal = 0;
    qint64 minutesUsed = 0;
    qint64 minutesUsedTotal = 0;
    /// The minutes balance; -1 when the record gives none.
    qint64 minutesLeft = -1;
    qint64 minutesUsedWeek = 0;
    /// Unix seconds.
    qint64 monthResetAt = 0;
    qint64 weekResetAt = 0;
    qint64 createdAt = 0;
    /// Whether the record named a plan itself (a non-empty text); "free" above may only be the stand-in for a
    /// missing one, which must not read as a change of plan.
    bool hasTier = false;

    /// Reads a record: integers from any JSON number (a fraction cut toward zero, a number sent as text counts as
    /// missing), texts only from JSON text; every missing or mistyped field keeps its default.
    static AccountInfo fromJson(const QJsonObject& object);

    bool operator==(const AccountInfo&) const = default;
};

} // namespace murmeli::cloud
