#include "main/hooks/sessions/SessionSnapshot.h"

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
    QDateTime freshest = statusMtime.isValid() ? statusMtime : distantPast();
    for (const auto& time : { activityMtime, notifyMtime, lastEventAt }) {
        if (time && *time > freshest) {
            freshest = *time;
        }
    }
    return freshest;
}

bool SessionSnapshot::isActive(const QDateTime& now) const
{
    return freshestMtime().msecsTo(now) < SessionRegistry::sessionSafetyWindowSeconds * 1000;
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
