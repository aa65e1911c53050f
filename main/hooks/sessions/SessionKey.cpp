#include "main/hooks/sessions/SessionKey.h"

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

std::optional<SessionKey> SessionKey::fromSessionId(const QString& sessionId)
{
    return fromFileKey(common::text::prefixCharacters(sessionId, length));
}

QString SessionKey::payloadIdPrefix(const QJsonObject& payload)
{
    for (const char* name : { "session_id", "sessionId", "agent_id", "agentId", "id" }) {
        const QJsonValue value = payload.value(QLatin1String(name));
        if (value.isString()) {
            return common::text::prefixCharacters(value.toString(), length);
        }
    }
    return QString();
}

std::optional<SessionKey> SessionKey::fromPayload(const QJsonObject& payload)
{
    return fromFileKey(payloadIdPrefix(payload));
}

std::optional<SessionKey> SessionKey::fromFileKey(const QString& text)
{
    if (!isSafe(text)) {
        return std::nullopt;
    }
    return SessionKey(text);
}

bool SessionKey::isSafe(const QString& text)
{
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
            || u == u'_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace murmeli::hooks
