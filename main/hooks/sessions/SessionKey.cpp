#include "main/hooks/sessions/SessionKey.h"

#include "main/common/TextUtils.h"

namespace murmeli::hooks::SessionKey {

QString fromSessionId(const QString& sessionId)
{
    return common::text::prefixCharacters(sessionId, length);
}

QString fromPayload(const QJsonObject& payload)
{
    for (const char* name : { "session_id", "sessionId", "agent_id", "agentId", "id" }) {
        const QJsonValue value = payload.value(QLatin1String(name));
        if (value.isString()) {
            return fromSessionId(value.toString());
        }
    }
    return QString();
}

bool isSafe(const QString& key)
{
    if (key.isEmpty()) {
        return false;
    }
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
            || u == u'_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace murmeli::hooks::SessionKey
