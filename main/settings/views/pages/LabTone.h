#pragma once

#include "main/settings/LabStatus.h"
#include "main/settings/views/widgets/SettingsBadge.h"

namespace murmeli::settings {

/// The badge colour of a Lab status.
inline BadgeKind badgeKindOf(LabStatus::Tone tone)
{
    switch (tone) {
    case LabStatus::Tone::Active:
        return BadgeKind::Active;
    case LabStatus::Tone::Warn:
        return BadgeKind::Warn;
    case LabStatus::Tone::Off:
        break;
    }
    return BadgeKind::Off;
}

} // namespace murmeli::settings
