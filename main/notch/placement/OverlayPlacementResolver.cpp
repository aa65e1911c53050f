#include "main/notch/placement/OverlayPlacementResolver.h"

#include <algorithm>
#include <cmath>

#include "main/notch/geometry/NotchScreenPreference.h"
#include "platform/desktop/ScreenProvider.h"

namespace murmeli::notch::OverlayPlacementResolver {
namespace {

const QString separator = QStringLiteral(" \u00B7 ");

std::optional<platform::ScreenInfo> firstNotched(const QList<platform::ScreenInfo>& all)
{
    const auto found = std::find_if(all.cbegin(), all.cend(), isNotched);
    return found == all.cend() ? std::nullopt : std::optional(*found);
}

QString wholeNumber(double value)
{
    return QString::number(static_cast<qint64>(std::trunc(value)));
}

} // namespace

QString screenID(const platform::ScreenInfo& screen)
{
    // The platform's number is an unsigned 32-bit value; anything outside that range is no number at all.
    if (screen.displayNumber && *screen.displayNumber >= 0 && *screen.displayNumber <= 0xFFFFFFFFLL) {
        return QStringLiteral("display-") + QString::number(*screen.displayNumber);
    }
    return screen.name;
}

OverlayPlacementMode placementMode(const platform::ScreenInfo& screen)
{
    return isNotched(screen) ? OverlayPlacementMode::Notch : OverlayPlacementMode::TopBar;
}

bool isNotched(const platform::ScreenInfo& screen)
{
    // The same test that marks a screen built-in for the display preference.
    return NotchScreenPreference::isBuiltIn(screen);
}

QList<OverlayDisplayOption> availableDisplayOptions(const platform::ScreenProvider& screens)
{
    QList<OverlayDisplayOption> options;
    for (const platform::ScreenInfo& screen : screens.screens()) {
        const QString placement
            = isNotched(screen) ? QStringLiteral("Built-in notch") : QStringLiteral("Top-bar fallback");
        options.append({ screenID(screen), screen.name,
            placement + separator + wholeNumber(screen.frame.width()) + QStringLiteral("\u00D7")
                + wholeNumber(screen.frame.height()) });
    }
    return options;
}

std::optional<ResolvedScreen> resolveScreen(
    const platform::ScreenProvider& screens, const std::optional<QString>& preferredScreenID)
{
    const QList<platform::ScreenInfo> all = screens.screens();
    if (all.isEmpty()) {
        return std::nullopt;
    }
    const bool manual = preferredScreenID.has_value();
    if (manual) {
        for (const platform::ScreenInfo& screen : all) {
            if (screenID(screen) == *preferredScreenID) {
                return ResolvedScreen { screen, QStringLiteral("manual") };
            }
        }
    }
    if (std::optional<platform::ScreenInfo> notched = firstNotched(all)) {
        return ResolvedScreen { *notched,
            manual ? QStringLiteral("manual missing, auto fallback") : QStringLiteral("automatic") };
    }
    if (std::optional<platform::ScreenInfo> main = screens.mainScreen()) {
        return ResolvedScreen { *main,
            manual ? QStringLiteral("manual missing, main fallback") : QStringLiteral("automatic") };
    }
    return ResolvedScreen { all.first(),
        manual ? QStringLiteral("manual missing, first-display fallback") : QStringLiteral("automatic") };
}

QRectF frame(const platform::ScreenInfo& screen, const QSizeF& panelSize)
{
    // A screen narrower than the margins leaves no room rather than a rectangle of negative width.
    const double width = std::max(0.0, std::min(panelSize.width(), screen.visibleFrame.width() - 64));
    return { screen.frame.center().x() - width / 2, panelTopY(screen, panelSize.height()), width, panelSize.height() };
}

double panelTopY(const platform::ScreenInfo& screen, double panelHeight)
{
    return screen.frame.bottom() - panelHeight;
}

std::optional<OverlayPlacementDiagnostics> diagnostics(
    const platform::ScreenProvider& screens, const std::optional<QString>& preferredScreenID, const QSizeF& panelSize)
{
    const std::optional<ResolvedScreen> resolved = resolveScreen(screens, preferredScreenID);
    if (!resolved) {
        return std::nullopt;
    }
    const platform::ScreenInfo& screen = resolved->screen;
    OverlayPlacementDiagnostics record;
    record.targetScreenID = screenID(screen);
    record.targetScreenName = screen.name;
    record.selectionSummary = resolved->selectionSummary;
    record.mode = placementMode(screen);
    record.screenFrame = screen.frame;
    record.visibleFrame = screen.visibleFrame;
    record.safeAreaInsets = screen.safeAreaInsets;
    record.overlayFrame = frame(screen, panelSize);
    return record;
}

} // namespace murmeli::notch::OverlayPlacementResolver
