#pragma once

#include <optional>

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "main/notch/placement/OverlayPlacementDiagnostics.h"
#include "main/notch/placement/OverlayPlacementTypes.h"
#include "platform/desktop/ScreenInfo.h"

namespace murmeli::platform {
class ScreenProvider;
}

// Describes the connected screens for the display settings: their options, the choice of one from a preferred
// identifier, its placement mode and the frame an overlay would take on it. Reads the screens afresh on each call.
namespace murmeli::notch::OverlayPlacementResolver {

/// A screen chosen, and how.
struct ResolvedScreen final {
    platform::ScreenInfo screen;
    QString selectionSummary;
};

/// "display-" and the screen's number; its name when it has no number.
QString screenID(const platform::ScreenInfo& screen);
/// Notch when the screen has a top inset or a non-empty area beside a notch; else the top-bar fallback.
OverlayPlacementMode placementMode(const platform::ScreenInfo& screen);
bool isNotched(const platform::ScreenInfo& screen);
/// One option per screen in the platform's order; empty without screens. There is no "automatic" entry.
QList<OverlayDisplayOption> availableDisplayOptions(const platform::ScreenProvider& screens);
/// The screen with that identifier ("manual"), else the first notched, main or first screen; with no identifier
/// the same chain as "automatic". Absent without screens.
std::optional<ResolvedScreen> resolveScreen(
    const platform::ScreenProvider& screens, const std::optional<QString>& preferredScreenID);
/// Hangs from the top edge of the full frame, centred on it, no wider than the visible frame less 64 points.
QRectF frame(const platform::ScreenInfo& screen, const QSizeF& panelSize);
/// The y origin of a panel of that height whose top edge lies on the screen's top edge.
double panelTopY(const platform::ScreenInfo& screen, double panelHeight);
/// The record for the resolved screen; absent without screens.
std::optional<OverlayPlacementDiagnostics> diagnostics(
    const platform::ScreenProvider& screens, const std::optional<QString>& preferredScreenID, const QSizeF& panelSize);

} // namespace murmeli::notch::OverlayPlacementResolver
