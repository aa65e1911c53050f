#include "main/hooks/status/ApprovalPolicy.h"

namespace murmeli::hooks {

QString toString(ApprovalAction action)
{
    switch (action) {
    case ApprovalAction::BlinkOn:
        return QStringLiteral("blinkOn");
    case ApprovalAction::BlinkOff:
        return QStringLiteral("blinkOff");
    case ApprovalAction::None:
        break;
    }
    return QStringLiteral("none");
}

ApprovalAction ApprovalPolicy::evaluate(bool needsAttention)
{
    if (!needsAttention) {
        return ApprovalAction::None;
    }
    const ApprovalAction action = blinkState ? ApprovalAction::BlinkOff : ApprovalAction::BlinkOn;
    blinkState = !blinkState;
    return action;
}

} // namespace murmeli::hooks
