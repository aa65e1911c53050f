#pragma once

#include <QRectF>
#include <QString>

#include "main/notch/placement/OverlayPlacementTypes.h"
#include "platform/desktop/ScreenInfo.h"

namespace murmeli::notch {

/// Where an overlay would go and why, with a line of text for each part; rectangles are in y-up points.
struct OverlayPlacementDiagnostics final {
    QString targetScreenID;
    QString targetScreenName;
    /// How the screen was chosen: "automatic", "manual", "manual missing, auto fallback", ...
    QString selectionSummary;
    OverlayPlacementMode mode = OverlayPlacementMode::TopBar;
    QRectF screenFrame;
    QRectF visibleFrame;
    platform::EdgeInsets safeAreaInsets;
    QRectF overlayFrame;

    /// The screen's name and how it was chosen.
    QString targetDescription() const;
    QString modeDescription() const;
    /// "{{x, y}, {width, height}}" in whole points, halves rounded away from zero.
    QString screenFrameDescription() const;
    QString visibleFrameDescription() const;
    QString overlayFrameDescription() const;
    /// "top 37 · left 0 · bottom 0 · right 0", each inset cut to a whole number.
    QString safeAreaDescription() const;

    /// The frame text of any rectangle, as the descriptions above write it.
    static QString describe(const QRectF& rect);
};

} // namespace murmeli::notch
