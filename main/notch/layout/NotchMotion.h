#pragma once

#include "main/notch/layout/MotionCurve.h"

// The notch panel's named animations and periods, in seconds.
namespace murmeli::notch::NotchMotion {

/// Into the expanded state.
inline constexpr MotionCurve open = MotionCurve::spring(0.44, 0.82, 0);
/// Back to the closed state.
inline constexpr MotionCurve close = MotionCurve::easeOut(0.3);

/// The brand dot's breathing.
inline constexpr double brandBreathSec = 2.5;
inline constexpr double greenPulseSec = 2.0;
inline constexpr double bluePulseSec = 1.0;
inline constexpr double amberPulseSec = 0.9;
/// The recording wave's bars.
inline constexpr double pttWaveSec = 0.6;
/// One marquee pass.
inline constexpr double marqueeSec = 14.0;
inline constexpr double slowMarqueeSec = 20.0;
/// Marquee scrolling speed, points per second.
inline constexpr double marqueePtPerSec = 50.0;
inline constexpr double fullWidthMarqueeSec = 8.0;
/// How long the welcome strip stays.
inline constexpr double startDurationSec = 5.0;
/// The welcome strip's right ear sliding in.
inline constexpr double startSlideInDuration = 0.6;

} // namespace murmeli::notch::NotchMotion
