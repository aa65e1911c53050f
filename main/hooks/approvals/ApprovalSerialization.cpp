#include "main/hooks/approvals/ApprovalSerialization.h"

#include <array>

#include <QJsonDocument>
#include <QJsonValue>
#include <QUuid>

#include "main/common/TextUtils.h"
#include "main/hooks/sessions/SessionKey.h"

namespace murmeli::hooks::ApprovalSerialization {

namespace {

namespace text = murmeli::common::text;

constexpr int textLimit = 60;
constexpr int fileNameLimit = 50;
constexpr int sessionPrefixLength = 8;

const QString defaultReason = QStringLiteral("Tool requested approval");

// Destructive patterns; "git push -f " keeps its trailing space so that "-f" must be followed by a remote.
constexpr std::array<const char*, 5> dangerousPatterns { "rm -rf", "git push --force", "git push -f ",
    "dd if=", "mkfs." };

// A value of the wrong type counts as absent, so the hook body can never make us misread a field.
QString stringOrEmpty(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

std::optional<QString> stringIfPresent(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

QString fileNamePreview(const QJsonObject& toolInput)
{
    const QString path = stringOrEmpty(toolInput, QStringLiteral("file_path"));
    return text::truncateWithEllipsis(text::lastPathComponent(path), fileNameLimit);
}

QJsonObject toolInputOf(const QJsonObject& payload)
{
    const QJsonValue inputValue = payload.value(QStringLiteral("tool_input"));
    return inputValue.isObject() ? inputValue.toObject() : QJsonObject();
}

} // namespace

QString requestSessionId(const QJsonObject& payload)
{
    // The sessions' own key where the id gives one, so that an id that begins with a clock names its session too.
    const QString id = stringOrEmpty(payload, QStringLiteral("session_id"));
    const std::optional<SessionKey> key = SessionKey::fromSessionId(id);
    return key ? key->text() : text::prefixCharacters(id, sessionPrefixLength);
}

QByteArray toolInputJSON(const QJsonObject& payload)
{
    // QJsonObject keeps its keys sorted, so the compact form is already the sorted one.
    return QJsonDocument(toolInputOf(payload)).toJson(QJsonDocument::Compact);
}

std::optional<ApprovalRequest> parseRequest(const QJsonObject& payload, const QDateTime& now)
{
    if (payload.isEmpty()) {
        return std::nullopt;
    }
    const QString toolName = stringOrEmpty(payload, QStringLiteral("tool_name"));
    if (toolName.isEmpty()) {
        return std::nullopt;
    }
    const QJsonObject toolInput = toolInputOf(payload);
    const QString sessionId = requestSessionId(payload);

    QString toolUseId = stringOrEmpty(payload, QStringLiteral("tool_use_id"));
    if (toolUseId.isEmpty()) {
        // The session and tool in the id make a generated one readable in logs; the UUID keeps it unique.
        toolUseId = sessionId + QLatin1Char(':') + toolName + QLatin1Char(':')
            + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    }

    QString reason = stringIfPresent(payload, QStringLiteral("reason"))
                         .value_or(stringOrEmpty(payload, QStringLiteral("permission_decision_reason")));
    if (reason.isEmpty()) {
        reason = defaultReason;
    }

    return ApprovalRequest { toolUseId, toolName, generatePreview(toolName, toolInput), toolInputJSON(payload), now,
        reason, sessionId, inferPriority(toolName, toolInput) };
}

QString generatePreview(const QString& toolName, const QJsonObject& toolInput)
{
    if (toolName == QLatin1String("Bash")) {
        return text::truncateWithEllipsis(stringOrEmpty(toolInput, QStringLiteral("command")), textLimit);
    }
    if (toolName == QLatin1String("Write")) {
        return QStringLiteral("write ") + fileNamePreview(toolInput);
    }
    if (toolName == QLatin1String("Edit")) {
        return QStringLiteral("edit ") + fileNamePreview(toolInput);
    }
    if (toolName == QLatin1String("Agent")) {
        return QStringLiteral("agent ")
            + text::truncateWithEllipsis(stringOrEmpty(toolInput, QStringLiteral("subagent_type")), textLimit);
    }
    const QLatin1String mcpPrefix("mcp__");
    if (toolName.startsWith(mcpPrefix)) {
        return QStringLiteral("mcp ") + text::truncateWithEllipsis(QString(toolName).remove(mcpPrefix), textLimit);
    }
    return text::truncateWithEllipsis(toolName, textLimit);
}

int inferPriority(const QString& toolName, const QJsonObject& toolInput)
{
    if (toolName != QLatin1String("Bash")) {
        return 0;
    }
    const QJsonValue command = toolInput.value(QStringLiteral("command"));
    if (!command.isString()) {
        return 0;
    }
    const QString lowered = command.toString().toLower();
    for (const char* pattern : dangerousPatterns) {
        if (lowered.contains(QLatin1String(pattern))) {
            return 1;
        }
    }
    return 0;
}

std::optional<QJsonArray> buildUpdatedPermissions(
    PermissionScope scope, const std::optional<QString>& rule, const QString& toolName)
{
    // The agent matches a remembered rule by tool name; a rule without one would never allow anything again.
    if (scope == PermissionScope::Once || toolName.isEmpty()) {
        return std::nullopt;
    }
    const bool hasRule = rule && !rule->isEmpty();
    // A tool-wide rule in a settings file would allow every later call of the tool (every Bash command) for good;
    // only the session's own memory may hold one.
    if (!hasRule && scope != PermissionScope::Session) {
        return std::nullopt;
    }
    QJsonObject ruleEntry { { QStringLiteral("toolName"), toolName } };
    if (hasRule) {
        ruleEntry.insert(QStringLiteral("ruleContent"), *rule);
    }
    const QJsonObject update {
        { QStringLiteral("type"), QStringLiteral("addRules") },
        { QStringLiteral("behavior"), QStringLiteral("allow") },
        { QStringLiteral("destination"), toString(scope) },
        { QStringLiteral("rules"), QJsonArray { ruleEntry } },
    };
    return QJsonArray { update };
}

QString responseBody(const ApprovalDecision& decision, const QString& toolName, bool agentTakesPermissionUpdates)
{
    QJsonObject decisionObject;
    switch (decision.kind()) {
    case ApprovalDecision::Kind::FailOpen:
        return QStringLiteral("{}");
    case ApprovalDecision::Kind::Allow:
        decisionObject.insert(QStringLiteral("behavior"), QStringLiteral("allow"));
        if (const auto updates = agentTakesPermissionUpdates
                ? buildUpdatedPermissions(decision.scope(), decision.rule(), toolName)
                : std::nullopt) {
            decisionObject.insert(QStringLiteral("updatedPermissions"), *updates);
        }
        break;
    case ApprovalDecision::Kind::Deny:
        decisionObject.insert(QStringLiteral("behavior"), QStringLiteral("deny"));
        if (decision.message() && !decision.message()->isEmpty()) {
            decisionObject.insert(QStringLiteral("message"), *decision.message());
        }
        break;
    }
    const QJsonObject reply { { QStringLiteral("hookSpecificOutput"),
        QJsonObject {
            { QStringLiteral("hookEventName"), QStringLiteral("PermissionRequest") },
            { QStringLiteral("decision"), decisionObject },
        } } };
    // Our reply bytes write "/" as "\/", which Qt's writer leaves bare; outside string values compact JSON holds no
    // "/", so escaping every one is exact.
    QByteArray bytes = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    bytes.replace('/', QByteArrayLiteral("\\/"));
    return QString::fromUtf8(bytes);
}

} // namespace murmeli::hooks::ApprovalSerialization
