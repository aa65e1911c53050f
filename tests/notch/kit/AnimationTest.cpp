#include "main/notch/kit/Animation.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "main/notch/kit/CurveProgress.h"

using namespace murmeli::notch;

TEST(AnimationTest, TheCurvesPassTheirKnownPoints)
{
    // Reference values of the cubic Béziers, found by bisection outside this code.
    struct Point {
        MotionCurve curve;
        double t;
        double expected;
    };
    const Point points[] = {
        { MotionCurve::linear(2), 0.5, 0.25 },
        { MotionCurve::easeInOut(1), 0.25, 0.12916 },
        { MotionCurve::easeInOut(1), 0.5, 0.5 },
        { MotionCurve::easeInOut(2), 1.5, 1 - 0.12916 },
        { MotionCurve::easeOut(1), 0.25, 0.37814 },
        { MotionCurve::easeOut(0.6), 0.3, 0.68464 },
        { MotionCurve::easeOut(1), 1.0, 1.0 },
        { MotionCurve::easeOut(1), -0.1, 0.0 },
    };
    for (const Point& p : points) {
        const double pass = CurveProgress::passSeconds(p.curve);
        EXPECT_NEAR(CurveProgress::at(p.curve, pass, p.t), p.expected, 1e-4) << "t=" << p.t;
    }
}

TEST(AnimationTest, AnUnderdampedSpringOvershootsByItsDampingAndSettles)
{
    // The check glyph's spring: its first peak comes at π/ω_d and overshoots by e^(-ζπ/√(1-ζ²)).
    const MotionCurve spring = MotionCurve::spring(0.45, 0.55);
    const double omega = 2 * std::numbers::pi / 0.45;
    const double ringing = omega * std::sqrt(1 - 0.55 * 0.55);
    const double peak = std::numbers::pi / ringing;
    const double pass = CurveProgress::passSeconds(spring);
    EXPECT_NEAR(CurveProgress::at(spring, pass, peak), 1.12632, 1e-4);
    EXPECT_LT(CurveProgress::at(spring, pass, peak - 0.02), CurveProgress::at(spring, pass, peak));
    EXPECT_LT(CurveProgress::at(spring, pass, peak + 0.02), CurveProgress::at(spring, pass, peak));
    EXPECT_NEAR(pass, 0.92297, 1e-3);
    EXPECT_NEAR(CurveProgress::at(spring, pass, pass * 0.99), 1.0, 1e-3);

    // Critically damped, it creeps in without ever passing the target.
    const MotionCurve critical = MotionCurve::spring(0.44, 1.0);
    const double criticalPass = CurveProgress::passSeconds(critical);
    for (double t = 0; t < criticalPass; t += 0.01) {
        EXPECT_LE(CurveProgress::at(critical, criticalPass, t), 1.0);
    }
    EXPECT_NEAR(CurveProgress::at(critical, criticalPass, criticalPass - 0.001), 1.0, 1.5e-3);
}

TEST(AnimationTest, RepeatsReversesAndDelaysAsAPureFunctionOfTime)
{
    // The brand dot's breath: 0.92 → 1.15 in 1.25 s, back in 1.25 s, for ever.
    const Animation breath = Animation(0.92, 1.15, 1000, MotionCurve::easeInOut(1.25)).repeatingForever(true);
    EXPECT_DOUBLE_EQ(breath.valueAt(1000), 0.92);
    EXPECT_NEAR(breath.valueAt(1625), (0.92 + 1.15) / 2, 1e-9);
    EXPECT_NEAR(breath.valueAt(2250), 1.15, 1e-9);
    EXPECT_NEAR(breath.valueAt(3500), 0.92, 1e-9);
    EXPECT_NEAR(breath.valueAt(1000 + 2500 * 40 + 1250), 1.15, 1e-9);
    EXPECT_TRUE(breath.isRunning(1'000'000));

    // The ring's ripple jumps back to its start after each pass.
    const Animation ripple = Animation(0.35, 1.5, 0, MotionCurve::linear(2.5)).repeatingForever(false);
    EXPECT_NEAR(ripple.valueAt(2499), 1.5, 1e-3);
    EXPECT_NEAR(ripple.valueAt(2500), 0.35, 1e-9);

    // A marquee's three linear passes, then the band rests at the target.
    const Animation band = Animation(0, -180, 0, MotionCurve::linear(3.6)).repeating(3, false);
    EXPECT_NEAR(band.valueAt(1800), -90, 1e-9);
    EXPECT_NEAR(band.valueAt(3600 + 1800), -90, 1e-9);
    EXPECT_TRUE(band.isRunning(10'799));
    EXPECT_FALSE(band.isRunning(10'800));
    EXPECT_DOUBLE_EQ(band.valueAt(20'000), -180);

    // A recording bar waits out its delay at its start value.
    const Animation bar = Animation(0.2, 0.95, 0, MotionCurve::easeInOut(0.3)).repeatingForever(true).delayed(140);
    EXPECT_DOUBLE_EQ(bar.valueAt(139), 0.2);
    EXPECT_NEAR(bar.valueAt(140 + 300), 0.95, 1e-9);

    EXPECT_FALSE(Animation::still(0.8).isRunning(0));
    EXPECT_DOUBLE_EQ(Animation::still(0.8).valueAt(12345), 0.8);
}
