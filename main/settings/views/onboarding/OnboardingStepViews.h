#pragma once

#include <functional>

class QWidget;

namespace murmeli::settings {

struct PermissionSnapshot;

/// The onboarding window's three step views. Buttons carry object names ("continue", "skip", "finish",
/// "authorize-<permission>", "recheck-<permission>"); the one Return presses carries the property "defaultAction".
namespace OnboardingStepViews {

/// Why murmeli asks for what it asks for; Continue calls advance.
QWidget* why(std::function<void()> advance);

struct AuthActions {
    /// The user asks for typing into other windows.
    std::function<void()> authorizeAccessibility;
    /// Ask the probes again.
    std::function<void()> recheck;
    std::function<void()> onContinue;
    std::function<void()> onSkip;
};
/// One row per permission with its state; while probing every button but Skip waits. Continue needs allGranted.
QWidget* auth(const PermissionSnapshot& snapshot, bool probing, const AuthActions& actions);

/// The summary: all set, or where to finish later; Finish calls finish.
QWidget* done(bool allGranted, std::function<void()> finish);

} // namespace OnboardingStepViews

} // namespace murmeli::settings
