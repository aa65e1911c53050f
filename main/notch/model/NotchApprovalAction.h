#pragma once

#include <QString>

#include "main/hooks/approvals/ApprovalTypes.h"

namespace murmeli::notch {

/// The answers the panel's approval card offers.
enum class NotchApprovalAction { AllowOnce, AllowAlways, Deny };

/// "allowOnce", "allowAlways" or "deny", as the diagnostic lines name them.
QString toString(NotchApprovalAction action);

/// The decision a click stands for: allow for this call, allow for the rest of the session, or deny.
hooks::ApprovalDecision decisionFor(NotchApprovalAction action);

} // namespace murmeli::notch
