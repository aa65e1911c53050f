#pragma once

#include <optional>

#include <QRectF>
#include <QString>

namespace murmeli::platform {

/// Space a screen keeps clear at each edge (a camera housing, rounded corners), in points.
struct EdgeInsets final {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;

    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

/// One connected screen as the notch panel measures it. Rectangles are in y-up points: the origin is the bottom
/// left of the primary screen and y grows upwards (see ScreenSpace for the way to the toolkit's window coordinates).
struct ScreenInfo final {
    /// The platform's number for the screen, stable while it stays connected; absent when the platform gives none.
    std::optional<qint64> displayNumber;
    /// The name a person knows the screen by.
    QString name;
    /// The whole screen.
    QRectF frame;
    /// The screen without the panels and docks that desktop keeps on it.
    QRectF visibleFrame;
    EdgeInsets safeAreaInsets;
    /// The usable strips left and right of a notch at the top edge; absent on a screen without one.
    std::optional<QRectF> auxiliaryTopLeftArea;
    std::optional<QRectF> auxiliaryTopRightArea;

    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

} // namespace murmeli::platform
