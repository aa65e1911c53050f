#include "main/notch/geometry/NotchScreenPreference.h"

#include "platform/defaults/Defaults.h"
#include "platform/desktop/ScreenProvider.h"

namespace murmeli::notch::NotchScreenPreference {
namespace {

bool hasArea(const std::optional<QRectF>& area)
{
    return area && !area->isEmpty();
}

std::optional<qint64> firstNumberWhere(const platform::ScreenProvider& screens, bool builtIn)
{
    for (const platform::ScreenInfo& screen : screens.screens()) {
        if (isBuiltIn(screen) == builtIn) {
            return screen.displayNumber;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<qint64> pinnedScreenID(const platform::Defaults& defaults)
{
    return defaults.intValue(QString::fromLatin1(udKey));
}

bool isBuiltIn(const platform::ScreenInfo& screen)
{
    return screen.safeAreaInsets.top > 0 || hasArea(screen.auxiliaryTopLeftArea)
        || hasArea(screen.auxiliaryTopRightArea);
}

std::optional<qint64> builtInScreenID(const platform::ScreenProvider& screens)
{
    return firstNumberWhere(screens, true);
}

std::optional<qint64> firstExternalScreenID(const platform::ScreenProvider& screens)
{
    return firstNumberWhere(screens, false);
}

} // namespace murmeli::notch::NotchScreenPreference
