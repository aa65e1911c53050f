#include "main/hooks/approvals/ApprovalTypes.h"

#include <utility>

namespace murmeli::hooks {

QString toString(PermissionScope scope)
{
    switch (scope) {
    case PermissionScope::Once:
        return QStringLiteral("once");
    case PermissionScope::Session:
        return QStringLiteral("session");
    case PermissionScope::LocalSettings:
        return QStringLiteral("localSettings");
    case PermissionScope::ProjectSettings:
        return QStringLiteral("projectSettings");
    case PermissionScope::UserSettings:
        return QStringLiteral("userSettings");
    }
    return {};
}

ApprovalDecision ApprovalDecision::allow(PermissionScope scope, std::optional<QString> rule)
{
    ApprovalDecision decision;
    decision.m_kind = Kind::Allow;
    decision.m_scope = scope;
    decision.m_rule = std::move(rule);
    return decision;
}

ApprovalDecision ApprovalDecision::deny(std::optional<QString> message)
{
    ApprovalDecision decision;
    decision.m_kind = Kind::Deny;
    decision.m_message = std::move(message);
    return decision;
}

ApprovalDecision ApprovalDecision::failOpen()
{
    return {};
}

QString describe(const ApprovalDecision& decision)
{
    switch (decision.kind()) {
    case ApprovalDecision::Kind::Allow:
        return QStringLiteral("allow(%1)").arg(toString(decision.scope()));
    case ApprovalDecision::Kind::Deny:
        return QStringLiteral("deny");
    case ApprovalDecision::Kind::FailOpen:
        break;
    }
    return QStringLiteral("failOpen");
}

} // namespace murmeli::hooks
