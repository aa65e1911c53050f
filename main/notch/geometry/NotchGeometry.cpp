#include "main/notch/geometry/NotchGeometry.h"

#include <cmath>

#include "main/notch/geometry/NotchScreenPreference.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/ScreenProvider.h"

namespace murmeli::notch {
namespace {

bool isFinite(const QRectF& rect)
{
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width())
        && std::isfinite(rect.height());
}

// An area that a screen layer reports with a non-finite edge cannot be measured; it counts as no area at all, so
// the screen gets the strip rather than a band of NaN.
std::optional<QRectF> measurable(const std::optional<QRectF>& area)
{
    return area && isFinite(*area) ? area : std::nullopt;
}

// "At least floor", where a non-finite measurement also falls to the floor.
double atLeast(double raw, double floor)
{
    return std::isfinite(raw) && raw > floor ? raw : floor;
}

} // namespace

std::optional<NotchGeometry> NotchGeometry::current(
    const platform::ScreenProvider& screens, const platform::Defaults& defaults)
{
    const std::optional<platform::ScreenInfo> screen = selectScreen(screens, defaults);
    if (!screen) {
        return std::nullopt;
    }
    return geometry(*screen);
}

std::optional<platform::ScreenInfo> NotchGeometry::selectScreen(
    const platform::ScreenProvider& screens, const platform::Defaults& defaults)
{
    const QList<platform::ScreenInfo> all = screens.screens();
    if (const std::optional<qint64> pinned = NotchScreenPreference::pinnedScreenID(defaults)) {
        for (const platform::ScreenInfo& screen : all) {
            if (screen.displayNumber == pinned) {
                return screen;
            }
        }
    }
    for (const platform::ScreenInfo& screen : all) {
        if (screen.safeAreaInsets.top > 0 || screen.auxiliaryTopLeftArea) {
            return screen;
        }
    }
    if (std::optional<platform::ScreenInfo> main = screens.mainScreen()) {
        return main;
    }
    if (all.isEmpty()) {
        return std::nullopt;
    }
    return all.first();
}

NotchGeometry NotchGeometry::geometry(const platform::ScreenInfo& screen)
{
    NotchGeometry result;
    result.screen = screen;
    const QRectF& frame = screen.frame;
    // y-up: the frame's top edge is its largest y, which QRectF calls bottom().
    const double frameMaxY = frame.bottom();
    result.centerX = frame.center().x();

    const std::optional<QRectF> left = measurable(screen.auxiliaryTopLeftArea);
    const std::optional<QRectF> right = measurable(screen.auxiliaryTopRightArea);
    if (!left || !right) {
        result.topY = frameMaxY - stripHeight;
        return result;
    }
    result.width = atLeast(frame.width() - left->width() - right->width() + visualCompensationPx, minimumWidth);
    const double inset = screen.safeAreaInsets.top;
    result.height = atLeast(inset > 0 ? inset : frameMaxY - left->y(), minimumHeight);
    result.topY = left->y();
    result.isReal = true;
    return result;
}

double NotchGeometry::panelTopY(double panelHeight) const
{
    return screen.frame.bottom() - panelHeight;
}

} // namespace murmeli::notch
