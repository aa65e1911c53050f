#include "main/notch/model/NotchApprovalAction.h"

namespace murmeli::notch {

QString toString(NotchApprovalAction action)
{
    switch (action) {
    case NotchApprovalAction::AllowOnce:
        return QStringLiteral("allowOnce");
    case NotchApprovalAction::AllowAlways:
        return QStringLiteral("allowAlways");
    case NotchApprovalAction::Deny:
        return QStringLiteral("deny");
    }
    return {};
}

hooks::ApprovalDecision decisionFor(NotchApprovalAction action)
{
    switch (action) {
    case NotchApprovalAction::AllowOnce:
        return hooks::ApprovalDecision::allow(hooks::PermissionScope::Once);
    case NotchApprovalAction::AllowAlways:
        return hooks::ApprovalDecision::allow(hooks::PermissionScope::Session);
    case NotchApprovalAction::Deny:
        return hooks::ApprovalDecision::deny();
    }
    return hooks::ApprovalDecision::deny();
}

} // namespace murmeli::notch
