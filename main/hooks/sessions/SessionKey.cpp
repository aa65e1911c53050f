#include "main/hooks/sessions/SessionKey.h"

#include <algorithm>
#include <utility>

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

namespace {

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool allHex(QStringView text)
{
    return std::all_of(text.begin(), text.end(), isHex);
}

// The text form of a UUID: 8-4-4-4-12 hex digits; the version is the first digit of the third group.
std::optional<QChar> uuidVersion(const QString& id)
{
    if (id.size() != 36) {
        return std::nullopt;
    }
    for (const qsizetype dash : { 8, 13, 18, 23 }) {
        if (id[dash] != u'-') {
            return std::nullopt;
        }
    }
    const QStringView view(id);
    for (const auto& [from, size] : { std::pair { 0, 8 }, { 9, 4 }, { 14, 4 }, { 19, 4 }, { 24, 12 } }) {
        if (!allHex(view.mid(from, size))) {
            return std::nullopt;
        }
    }
    return id[14];
}

} // namespace

bool SessionKey::isTimeOrdered(const QString& sessionId)
{
    if (const auto version = uuidVersion(sessionId)) {
        return *version == u'6' || *version == u'7';
    }
    // OpenCode's: "ses_", twelve hex digits of a clock, then random characters.
    static constexpr QLatin1String openCode("ses_");
    return sessionId.startsWith(openCode) && sessionId.size() > openCode.size() + 12 + length
        && allHex(QStringView(sessionId).mid(openCode.size(), 12));
}

std::optional<SessionKey> SessionKey::fromSessionId(const QString& sessionId)
{
    return fromFileKey(
        isTimeOrdered(sessionId) ? sessionId.right(length) : common::text::prefixCharacters(sessionId, length));
}

std::optional<SessionKey> SessionKey::ofStatusLine(const QString& sessionId)
{
    return fromFileKey(common::text::prefixCharacters(sessionId, length));
}

QString SessionKey::payloadSessionId(const QJsonObject& payload)
{
    for (const char* name : { "session_id", "sessionId", "agent_id", "agentId", "id" }) {
        const QJsonValue value = payload.value(QLatin1String(name));
        if (value.isString()) {
            return value.toString();
        }
    }
    return QString();
}

QString SessionKey::payloadIdPrefix(const QJsonObject& payload)
{
    const QString id = payloadSessionId(payload);
    return isTimeOrdered(id) ? id.right(length) : common::text::prefixCharacters(id, length);
}

std::optional<SessionKey> SessionKey::fromPayload(const QJsonObject& payload)
{
    return fromSessionId(payloadSessionId(payload));
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
