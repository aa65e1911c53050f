#pragma once

#include <optional>

#include "platform/desktop/ScreenInfo.h"

namespace murmeli::platform {
class Defaults;
class ScreenProvider;
} // namespace murmeli::platform

namespace murmeli::notch {

/// The notch band of the screen the panel stands on, in y-up points. A screen without a notch gets a strip of the
/// same proportions hanging from its top edge. Nothing is cached: each call measures the screens afresh.
struct NotchGeometry final {
    /// Added to the measured housing so the panel covers its soft edges.
    static constexpr double visualCompensationPx = 4.0;
    static constexpr double minimumWidth = 180;
    static constexpr double minimumHeight = 28;
    /// The strip drawn where there is no notch.
    static constexpr double stripWidth = 200;
    static constexpr double stripHeight = 32;

    /// The midpoint of the screen frame.
    double centerX = 0;
    /// The lower edge of the notch band.
    double topY = 0;
    double width = stripWidth;
    double height = stripHeight;
    /// Both areas beside a notch exist.
    bool isReal = false;
    /// The screen measured.
    platform::ScreenInfo screen;

    /// The band of the chosen screen; absent when there is no screen at all.
    static std::optional<NotchGeometry> current(
        const platform::ScreenProvider& screens, const platform::Defaults& defaults);
    /// The pinned screen, else the first with a notch, else the main screen, else the first one.
    static std::optional<platform::ScreenInfo> selectScreen(
        const platform::ScreenProvider& screens, const platform::Defaults& defaults);
    /// Measures the notch band of screen.
    static NotchGeometry geometry(const platform::ScreenInfo& screen);

    /// The y origin of a panel of that height whose top edge lies on the screen's top edge.
    double panelTopY(double panelHeight) const;

    friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;
};

} // namespace murmeli::notch
