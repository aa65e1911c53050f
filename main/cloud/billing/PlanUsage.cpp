#include "main/cloud/billing/PlanUsage.h"

#include <algorithm>
#include <cmath>

namespace murmeli::cloud::PlanUsage {

qint64 monthCap(qint64 quotaMinutes)
{
    return std::max(quotaMinutes, freeMonthMinutes);
}

double fillFraction(qint64 used, qint64 cap)
{
    if (cap < 1) {
        return 0.0;
    }
    return std::clamp(static_cast<double>(used) / static_cast<double>(cap), 0.0, 1.0);
}

QString countText(qint64 used, qint64 cap)
{
    return QStringLiteral("%1 / %2 min").arg(used).arg(cap);
}

QString resetText(qint64 unix, double nowSecs)
{
    if (unix < 1) {
        return QString();
    }
    const double delta = static_cast<double>(unix) - nowSecs;
    if (delta <= 0) {
        return QStringLiteral("Resets soon · 即将重置");
    }
    const auto days = static_cast<qint64>(std::trunc(delta / 86400.0));
    if (days >= 1) {
        return QStringLiteral("Resets in %1 day%2 · %1 天后")
            .arg(days)
            .arg(days == 1 ? QString() : QStringLiteral("s"));
    }
    const qint64 hours = std::max<qint64>(1, static_cast<qint64>(std::trunc(delta / 3600.0)));
    return QStringLiteral("Resets in %1h · %1 小时后").arg(hours);
}

} // namespace murmeli::cloud::PlanUsage
