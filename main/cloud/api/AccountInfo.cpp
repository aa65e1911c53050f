#include "main/cloud/api/AccountInfo.h"

#include <QJsonValue>

#include "main/cloud/api/JsonFields.h"

namespace murmeli::cloud {

namespace {

qint64 integerField(const QJsonObject& object, const char* key, qint64 fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool()) {
        // The service's own reader takes true and false as 1 and 0; so does this one.
        return value.toBool() ? 1 : 0;
    }
    return JsonFields::integer(value).value_or(fallback);
}

} // namespace

AccountInfo AccountInfo::fromJson(const QJsonObject& object)
{
    AccountInfo info;
    info.userId = integerField(object, "user_id", 0);
    if (const QJsonValue email = object.value(QLatin1String("email")); email.isString()) {
        info.email = email.toString();
    }
    if (const QJsonValue tier = object.value(QLatin1String("tier")); tier.isString()) {
        info.tier = tier.toString();
        info.hasTier = !info.tier.isEmpty();
    }
    info.quotaMinutes = integerField(object, "quota_minutes", 0);
    info.quotaMinutesTotal = integerField(object, "quota_minutes_total", 0);
    info.minutesUsed = integerField(object, "minutes_used", 0);
    info.minutesUsedTotal = integerField(object, "minutes_used_total", 0);
    info.minutesLeft = integerField(object, "minutes_left", -1);
    info.minutesUsedWeek = integerField(object, "minutes_used_week", 0);
    info.monthResetAt = integerField(object, "month_reset_at", 0);
    info.weekResetAt = integerField(object, "week_reset_at", 0);
    info.createdAt = integerField(object, "created_at", 0);
    return info;
}

} // namespace murmeli::cloud
