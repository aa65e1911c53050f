#pragma once

#include <QJsonObject>
#include <QString>

namespace murmeli::hooks {

/// A session is named everywhere (file names, registry, status) by the first 8 characters of its agent's id.
namespace SessionKey {

inline constexpr int length = 8;

/// The first 8 characters of the first string among "session_id", "sessionId", "agent_id", "agentId" and "id";
/// empty when there is none.
QString fromPayload(const QJsonObject& payload);

/// The first 8 user-perceived characters of an id.
QString fromSessionId(const QString& sessionId);

/// Keys end up in file names that are written and deleted, so only letters, digits, "-" and "_" are accepted.
bool isSafe(const QString& key);

} // namespace SessionKey

} // namespace murmeli::hooks
