#pragma once

#include <QtGlobal>

#include "main/notch/layout/MotionCurve.h"

namespace murmeli::notch {

/// One animated number as a pure function of time: from `from` to `to`, starting at a moment on the clock's
/// monotonic scale, after an optional delay, along a curve, once, a number of times or forever, each second pass
/// running back when it auto-reverses. Nothing ticks: whoever draws asks for the value at the frame's time.
class Animation final {
public:
    /// A value that does not move.
    static Animation still(double value);
    Animation(double from, double to, qint64 startMs, MotionCurve curve);

    /// The same run, repeated count passes in all.
    Animation repeating(int count, bool autoreverses) const;
    /// The same run, repeated for as long as it is drawn.
    Animation repeatingForever(bool autoreverses) const;
    /// The same run, started ms later; until then the value is `from`.
    Animation delayed(qint64 ms) const;
    /// The same run, at its target once it stays within tolerance of it (a fraction of the whole way): a spring's
    /// last swings, too small to be seen, are not waited for.
    Animation endingWithin(double tolerance) const;

    /// The value at nowMs; after the last pass, the target.
    double valueAt(qint64 nowMs) const;
    /// Whether the value still changes after nowMs (always, for a run repeated forever).
    bool isRunning(qint64 nowMs) const;
    /// When the last pass ends; the largest time there is for a run repeated forever.
    qint64 endMs() const;
    double target() const { return m_to; }

private:
    double m_from = 0;
    double m_to = 0;
    qint64 m_startMs = 0;
    qint64 m_delayMs = 0;
    MotionCurve m_curve = MotionCurve::linear(0);
    double m_passSeconds = 0;
    int m_passes = 1;
    bool m_forever = false;
    bool m_autoreverses = false;
};

} // namespace murmeli::notch
