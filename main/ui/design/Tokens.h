#pragma once

#include <chrono>

#include <QColor>

// The design tokens every window and the panel draw with. Colours are sRGB and opaque unless said.
namespace murmeli::ui::Tokens {

namespace Notch {

inline constexpr QColor brass { 227, 178, 92 };
inline constexpr QColor text { 245, 235, 221 };
inline constexpr QColor textMuted { 140, 129, 118 };
inline constexpr QColor signalGreen { 126, 203, 143 };
inline constexpr QColor signalAmber { 227, 165, 76 };
inline constexpr QColor signalRed { 217, 108, 90 };
inline constexpr QColor signalBlue { 123, 176, 220 };
/// The panel surface, under the sign-in sheet and the settings window.
inline constexpr QColor surface { 26, 22, 20 };
/// Group cards and statistic tiles.
inline constexpr QColor surface2 { 36, 30, 26 };
/// Secondary buttons, key caps, a disabled primary button.
inline constexpr QColor surface3 { 46, 39, 34 };
/// The panel's translucent glass: surface2 at alpha 0.82.
inline constexpr QColor surfaceGlass { 36, 30, 26, 209 };

} // namespace Notch

namespace Motion {

inline constexpr std::chrono::milliseconds hoverDuration { 150 };

} // namespace Motion

} // namespace murmeli::ui::Tokens

// The same colours under the names the views use.
namespace murmeli::ui::Color {

inline constexpr QColor vantorBrass = Tokens::Notch::brass;
inline constexpr QColor vantorText = Tokens::Notch::text;
inline constexpr QColor vantorTextMuted = Tokens::Notch::textMuted;
inline constexpr QColor vantorSignalGreen = Tokens::Notch::signalGreen;
inline constexpr QColor vantorSignalAmber = Tokens::Notch::signalAmber;
inline constexpr QColor vantorSignalRed = Tokens::Notch::signalRed;
inline constexpr QColor vantorSignalBlue = Tokens::Notch::signalBlue;
inline constexpr QColor vantorSurface = Tokens::Notch::surface;
inline constexpr QColor vantorSurface2 = Tokens::Notch::surface2;
inline constexpr QColor vantorSurface3 = Tokens::Notch::surface3;
inline constexpr QColor vantorSurfaceGlass = Tokens::Notch::surfaceGlass;

} // namespace murmeli::ui::Color
