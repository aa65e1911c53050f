#include "main/hooks/sessions/SessionSnapshot.h"

#include <algorithm>

#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/status/ClaudeStatus.h"

namespace murmeli::hooks {

QDateTime SessionSnapshot::distantPast()
{
    static const QDateTime past(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    return past;
}

QDateTime SessionSnapshot::freshestMtime() const
{
    std::optional<QDateTime> freshest;
    for (const auto& time : { activityMtime, notifyMtime, lastEventAt }) {
        if (time && (!freshest || *time > *freshest)) {
            freshest = *time;
        }
    }
    if (freshest) {
        return *freshest;
    }
    return statusMtime.isValid() ? statusMtime : distantPast();
}

QDateTime SessionSnapshot::lastHeardOf() const
{
    const QDateTime status = statusMtime.isValid() ? statusMtime : distantPast();
    return std::max(status, freshestMtime());
}

bool SessionSnapshot::isActive(const QDateTime& now) const
{
    return lastHeardOf().msecsTo(now) < SessionRegistry::sessionSafetyWindowSeconds * 1000;
}

QString SessionSnapshot::dotColor(const QDateTime& now) const
{
    if (isPendingApproval) {
        return QStringLiteral("red");
    }
    if (activityMtime && activityMtime->msecsTo(now) < ClaudeStatus::activityExpirySeconds * 1000) {
        return QStringLiteral("blue");
    }
    return QStringLiteral("green");
}

} // namespace murmeli::hooks
