#include "main/settings/onboarding/OnboardingStep.h"

#include "main/common/RawValues.h"

namespace murmeli::settings {

namespace {

constexpr common::RawValueTable<OnboardingStep, 3> rawValues { {
    { OnboardingStep::Why, "why" },
    { OnboardingStep::Auth, "auth" },
    { OnboardingStep::Done, "done" },
} };

} // namespace

QString toString(OnboardingStep step)
{
    return common::rawValueOf(rawValues, step);
}

std::optional<OnboardingStep> onboardingStepFromString(const QString& raw)
{
    return common::caseOfRawValue(rawValues, raw);
}

} // namespace murmeli::settings
