#pragma once

#include "main/notch/layout/MotionCurve.h"

// How far along its curve an animation is. The ease curves are the usual cubic Béziers (ease-in-out 0.42, 0, 0.58, 1;
// ease-out 0, 0, 0.58, 1); a spring is a damped harmonic oscillator of unit mass released from rest, which overshoots
// its target when its damping fraction is below 1.
namespace murmeli::notch::CurveProgress {

/// Seconds of one pass: the duration of a timing curve; for a spring, the time after which it stays within 0.1 %
/// of its target.
double passSeconds(const MotionCurve& curve);
/// Seconds after which a pass stays within tolerance (a fraction of the whole way) of its end: sooner than
/// passSeconds for a spring whose last swings are smaller than that, passSeconds otherwise.
double stillSeconds(const MotionCurve& curve, double tolerance);
/// Fraction of the way t seconds into a pass of passSeconds: 0 before it, 1 from its end on; a spring may pass 1
/// on the way.
double at(const MotionCurve& curve, double passSeconds, double t);

} // namespace murmeli::notch::CurveProgress
