#pragma once

#include <QString>

// How the account's values read wherever murmeli shows them: the account page, the plan card and the device.
namespace murmeli::cloud::AccountTexts {

/// Whether tier is the pay-as-you-go plan ("pay-go" in any case).
bool isPayAsYouGo(const QString& tier);
/// The plan's name: "Pay-as-you-go" for pay-go, "Free" while the tier is empty (not known yet, or free), else the
/// tier with each word capitalised ("pro" reads "Pro").
QString planName(const QString& tier);

/// How a minutes balance is shown: not known, none left, or some left.
enum class BalanceTone { Unknown, Empty, Positive };
BalanceTone balanceTone(qint64 minutesLeft);
/// "—" while unknown (negative), else the number followed by " mins left" (also for one minute).
QString minutesText(qint64 minutesLeft);

} // namespace murmeli::cloud::AccountTexts
