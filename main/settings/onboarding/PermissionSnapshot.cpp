#include "main/settings/onboarding/PermissionSnapshot.h"

#include "main/common/RawValues.h"

namespace murmeli::settings {

namespace {

constexpr common::RawValueTable<PermissionState, 4> rawValues { {
    { PermissionState::Granted, "granted" },
    { PermissionState::Denied, "denied" },
    { PermissionState::NotDetermined, "notDetermined" },
    { PermissionState::NotNeeded, "notNeeded" },
} };

bool grantedOrNotNeeded(PermissionState state)
{
    return state == PermissionState::Granted || state == PermissionState::NotNeeded;
}

} // namespace

QString toString(PermissionState state)
{
    return common::rawValueOf(rawValues, state);
}

std::optional<PermissionState> permissionStateFromString(const QString& raw)
{
    return common::caseOfRawValue(rawValues, raw);
}

bool PermissionSnapshot::allGranted() const
{
    return accessibility.state == PermissionState::Granted && grantedOrNotNeeded(automation.state);
}

} // namespace murmeli::settings
