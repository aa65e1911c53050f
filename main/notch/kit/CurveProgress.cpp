#include "main/notch/kit/CurveProgress.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace murmeli::notch::CurveProgress {

namespace {

// A spring counts as settled once it stays closer to its target than this fraction of the whole way.
constexpr double settleFraction = 0.001;

struct Bezier {
    double x1, y1, x2, y2;
};

double cubic(double a, double b, double t)
{
    // One coordinate of a Bézier curve from 0 through control values a and b to 1.
    const double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
}

double cubicSlope(double a, double b, double t)
{
    const double u = 1 - t;
    return 3 * u * u * a + 6 * u * t * (b - a) + 3 * t * t * (1 - b);
}

double bezierAt(const Bezier& curve, double x)
{
    // Newton's method on the x coordinate, with bisection where the slope flattens.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = cubic(curve.x1, curve.x2, t) - x;
        if (std::abs(error) < 1e-7) {
            return cubic(curve.y1, curve.y2, t);
        }
        const double slope = cubicSlope(curve.x1, curve.x2, t);
        if (std::abs(slope) < 1e-6) {
            break;
        }
        t -= error / slope;
    }
    double low = 0;
    double high = 1;
    t = x;
    for (int i = 0; i < 50 && std::abs(cubic(curve.x1, curve.x2, t) - x) >= 1e-7; ++i) {
        (cubic(curve.x1, curve.x2, t) < x ? low : high) = t;
        t = (low + high) / 2;
    }
    return cubic(curve.y1, curve.y2, t);
}

double omegaOf(const MotionCurve& curve)
{
    return 2 * std::numbers::pi / std::max(curve.response, 0.001);
}

double dampingOf(const MotionCurve& curve)
{
    return std::max(curve.dampingFraction, 0.001);
}

double springAt(const MotionCurve& curve, double t)
{
    const double omega = omegaOf(curve);
    const double damping = dampingOf(curve);
    if (damping < 1) {
        const double decay = damping * omega;
        const double ringing = omega * std::sqrt(1 - damping * damping);
        return 1 - std::exp(-decay * t) * (std::cos(ringing * t) + decay / ringing * std::sin(ringing * t));
    }
    if (damping == 1) {
        return 1 - (1 + omega * t) * std::exp(-omega * t);
    }
    const double root = omega * std::sqrt(damping * damping - 1);
    const double fast = damping * omega + root;
    const double slow = damping * omega - root;
    return 1 - (fast * std::exp(-slow * t) - slow * std::exp(-fast * t)) / (fast - slow);
}

double springSettleSeconds(const MotionCurve& curve)
{
    const double omega = omegaOf(curve);
    const double damping = dampingOf(curve);
    if (damping < 1) {
        // The envelope e^(-ζωt) / sqrt(1 - ζ²) bounds how far the ringing strays from the target.
        return std::log(1 / (settleFraction * std::sqrt(1 - damping * damping))) / (damping * omega);
    }
    // Critically and over-damped springs creep in without crossing; walk forward until they are close enough.
    double t = 0;
    while (t < 60 && 1 - springAt(curve, t) >= settleFraction) {
        t += 0.001;
    }
    return t;
}

} // namespace

double passSeconds(const MotionCurve& curve)
{
    return curve.kind == MotionCurve::Kind::Spring ? springSettleSeconds(curve) : std::max(0.0, curve.duration);
}

double stillSeconds(const MotionCurve& curve, double tolerance)
{
    const double pass = passSeconds(curve);
    if (curve.kind != MotionCurve::Kind::Spring || tolerance <= settleFraction) {
        return pass;
    }
    // Back from the settled end, a millisecond at a time, to the last moment the spring strays that far.
    constexpr double step = 0.001;
    double t = pass;
    while (t > step && std::abs(1 - springAt(curve, t - step)) < tolerance) {
        t -= step;
    }
    return t;
}

double at(const MotionCurve& curve, double passSeconds, double t)
{
    if (t <= 0) {
        return 0;
    }
    if (t >= passSeconds) {
        return 1;
    }
    const double x = t / passSeconds;
    switch (curve.kind) {
    case MotionCurve::Kind::Linear:
        return x;
    case MotionCurve::Kind::EaseInOut:
        return bezierAt({ 0.42, 0, 0.58, 1 }, x);
    case MotionCurve::Kind::EaseOut:
        return bezierAt({ 0, 0, 0.58, 1 }, x);
    case MotionCurve::Kind::Spring:
        return springAt(curve, t);
    }
    return x;
}

} // namespace murmeli::notch::CurveProgress
