#pragma once

#include <QString>

// The usage lines of the free plan: caps, counts, bar fill and the reset times.
namespace murmeli::cloud::PlanUsage {

/// The month line's cap: the quota, but never under the 300 minutes every free account has.
inline constexpr qint64 freeMonthMinutes = 300;
/// The week line's cap, fixed.
inline constexpr qint64 freeWeekMinutes = 80;

qint64 monthCap(qint64 quotaMinutes);
/// used / cap within 0…1; 0 when cap is below 1.
double fillFraction(qint64 used, qint64 cap);
/// "<used> / <cap> min", the true numbers even when used is over the cap.
QString countText(qint64 used, qint64 cap);
/// When the period ends, seen from nowSecs (Unix seconds): "" for an unset time (below 1), "Resets soon" once it has
/// passed, else whole days, or whole hours (at least 1) under a day.
QString resetText(qint64 unix, double nowSecs);

} // namespace murmeli::cloud::PlanUsage
