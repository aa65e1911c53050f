#pragma once

namespace murmeli::notch {

/// How an animated value moves from its start to its end: a timing curve over a duration, or a spring that settles
/// in its own time. A description only; the view kit evaluates it.
struct MotionCurve final {
    enum class Kind { Linear, EaseOut, EaseInOut, Spring };

    Kind kind = Kind::EaseInOut;
    /// Seconds, for the timing curves.
    double duration = 0;
    /// Seconds a spring takes for one swing, for Kind::Spring.
    double response = 0;
    /// 1 settles without overshoot; less rings, for Kind::Spring.
    double dampingFraction = 1;
    /// Seconds over which a spring that is interrupted hands over to the new one.
    double blendDuration = 0;

    static constexpr MotionCurve linear(double seconds) { return { Kind::Linear, seconds }; }
    static constexpr MotionCurve easeOut(double seconds) { return { Kind::EaseOut, seconds }; }
    static constexpr MotionCurve easeInOut(double seconds) { return { Kind::EaseInOut, seconds }; }
    static constexpr MotionCurve spring(double response, double dampingFraction, double blendDuration = 0)
    {
        return { Kind::Spring, 0, response, dampingFraction, blendDuration };
    }

    friend bool operator==(const MotionCurve&, const MotionCurve&) = default;
};

} // namespace murmeli::notch
