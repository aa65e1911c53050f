#pragma once

#include <optional>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "main/hooks/approvals/ApprovalTypes.h"

/// Between the agent's permission-request hook body and our approval types; stateless, safe on any thread.
namespace murmeli::hooks::ApprovalSerialization {

/// The request in a "PermissionRequest" body received at now; nullopt when the body is empty or has no usable
/// "tool_name". Every other missing or mistyped key falls back to its default.
std::optional<ApprovalRequest> parseRequest(const QJsonObject& payload, const QDateTime& now);

/// The session a hook body speaks for, as requests name it: the first 8 characters of its "session_id".
QString requestSessionId(const QJsonObject& payload);

/// The tool input of a hook body in the compact form a request keeps it in.
QByteArray toolInputJSON(const QJsonObject& payload);

/// A one-line preview of the tool call, at most 60 characters (file names 50) after its tool prefix.
QString generatePreview(const QString& toolName, const QJsonObject& toolInput);

/// 1 for a Bash command that looks destructive, else 0.
int inferPriority(const QString& toolName, const QJsonObject& toolInput);

/// The permission update that makes an allow stick for toolName; nullopt for Once or without a tool name. Without
/// rule text only a session allow is remembered (for the whole tool); a settings file gets no tool-wide rule.
std::optional<QJsonArray> buildUpdatedPermissions(
    PermissionScope scope, const std::optional<QString>& rule, const QString& toolName);

/// The exact reply text for the agent's hook; "{}" lets the agent fall back to its own behaviour. An agent that does
/// not take permission updates is sent every allow bare: it would turn the whole reply down for one.
QString responseBody(
    const ApprovalDecision& decision, const QString& toolName, bool agentTakesPermissionUpdates = true);

} // namespace murmeli::hooks::ApprovalSerialization
