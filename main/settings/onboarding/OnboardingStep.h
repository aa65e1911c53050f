#pragma once

#include <optional>

#include <QString>

namespace murmeli::settings {

/// The onboarding's steps in order: why murmeli needs what it asks for, granting it, and the summary.
enum class OnboardingStep { Why, Auth, Done };

/// "why", "auth", "done".
QString toString(OnboardingStep step);
/// The step whose raw value matches exactly; nullopt for any other text.
std::optional<OnboardingStep> onboardingStepFromString(const QString& raw);

} // namespace murmeli::settings
