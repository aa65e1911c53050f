#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace murmeli::hooks {

/// What the agent asks to do; built once from the hook body and then only copied.
struct ApprovalRequest final {
    QString toolUseId;
    QString toolName;
    QString commandPreview;
    QByteArray rawInputJSON;
    QDateTime enqueuedAt;
    QString reason;
    QString sessionId;
    int priority = 0;

    friend bool operator==(const ApprovalRequest&, const ApprovalRequest&) = default;
};

/// How far an allow reaches; every case but Once becomes a rule the agent remembers.
enum class PermissionScope { Once, Session, LocalSettings, ProjectSettings, UserSettings };

/// The name the agent knows the scope by: "once", "session", "localSettings", "projectSettings", "userSettings".
QString toString(PermissionScope scope);

/// The answer to a request. Fields a kind does not use stay at their defaults, so equality over all of them is
/// equality of the kind and its own payload; an absent rule or message is not the same as an empty one.
class ApprovalDecision final {
public:
    enum class Kind { Allow, Deny, FailOpen };

    /// Fail-open, the answer nobody gave.
    ApprovalDecision() = default;

    static ApprovalDecision allow(PermissionScope scope, std::optional<QString> rule = std::nullopt);
    static ApprovalDecision deny(std::optional<QString> message = std::nullopt);
    static ApprovalDecision failOpen();

    Kind kind() const { return m_kind; }
    /// Once for anything but an allow.
    PermissionScope scope() const { return m_scope; }
    const std::optional<QString>& rule() const { return m_rule; }
    const std::optional<QString>& message() const { return m_message; }

    friend bool operator==(const ApprovalDecision&, const ApprovalDecision&) = default;

private:
    Kind m_kind = Kind::FailOpen;
    PermissionScope m_scope = PermissionScope::Once;
    std::optional<QString> m_rule;
    std::optional<QString> m_message;
};

/// A short form for log lines, "allow(session)", "deny" or "failOpen"; rule and message texts stay out of logs.
QString describe(const ApprovalDecision& decision);

/// A read-only view of the pending request table.
struct PendingSnapshot final {
    std::optional<ApprovalRequest> active;
    int queueDepth = 0;

    /// Everything held: the queue plus the active request when there is one.
    int queueTotal() const { return queueDepth + (active ? 1 : 0); }
};

} // namespace murmeli::hooks
