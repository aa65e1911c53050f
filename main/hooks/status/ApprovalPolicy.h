#pragma once

#include <QString>

namespace murmeli::hooks {

/// What the attention signal should do next.
enum class ApprovalAction { BlinkOn, BlinkOff, None };

/// "blinkOn", "blinkOff" or "none".
QString toString(ApprovalAction action);

/// Turns "a session needs the user" into an alternating blink, one step per evaluation.
struct ApprovalPolicy final {
    bool blinkState = false;

    /// None without attention (the alternation is kept for next time); otherwise the next blink step.
    ApprovalAction evaluate(bool needsAttention);

    friend bool operator==(const ApprovalPolicy&, const ApprovalPolicy&) = default;
};

} // namespace murmeli::hooks
