#pragma once

#include "main/settings/LabStatus.h"
#include "main/ui/widgets/SettingsBadge.h"

namespace murmeli::settings {

/// The badge colour of a Lab status.
inline ui::BadgeKind badgeKindOf(LabStatus::Tone tone)
{
    switch (tone) {
    case LabStatus::Tone::Active:
        return ui::BadgeKind::Active;
    case LabStatus::Tone::Warn:
        return ui::BadgeKind::Warn;
    case LabStatus::Tone::Off:
        break;
    }
    return ui::BadgeKind::Off;
}

} // namespace murmeli::settings
