#include "main/notch/kit/Animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "main/notch/kit/CurveProgress.h"

namespace murmeli::notch {

Animation Animation::still(double value)
{
    return Animation(value, value, 0, MotionCurve::linear(0));
}

Animation::Animation(double from, double to, qint64 startMs, MotionCurve curve)
    : m_from(from), m_to(to), m_startMs(startMs), m_curve(curve), m_passSeconds(CurveProgress::passSeconds(curve))
{
}

Animation Animation::repeating(int count, bool autoreverses) const
{
    Animation copy = *this;
    copy.m_passes = std::max(1, count);
    copy.m_forever = false;
    copy.m_autoreverses = autoreverses;
    return copy;
}

Animation Animation::repeatingForever(bool autoreverses) const
{
    Animation copy = *this;
    copy.m_forever = true;
    copy.m_autoreverses = autoreverses;
    return copy;
}

Animation Animation::delayed(qint64 ms) const
{
    Animation copy = *this;
    copy.m_delayMs = std::max<qint64>(0, ms);
    return copy;
}

Animation Animation::endingWithin(double tolerance) const
{
    Animation copy = *this;
    copy.m_passSeconds = std::min(m_passSeconds, CurveProgress::stillSeconds(m_curve, tolerance));
    return copy;
}

double Animation::valueAt(qint64 nowMs) const
{
    const double elapsed = static_cast<double>(nowMs - m_startMs - m_delayMs) / 1000.0;
    if (elapsed < 0) {
        return m_from;
    }
    const double pass = m_passSeconds;
    if (pass <= 0) {
        return m_to;
    }
    const double index = std::floor(elapsed / pass);
    if (!m_forever && index >= m_passes) {
        return m_to;
    }
    const double fraction = CurveProgress::at(m_curve, pass, elapsed - index * pass);
    const bool backwards = m_autoreverses && std::fmod(index, 2.0) == 1.0;
    return backwards ? m_to + (m_from - m_to) * fraction : m_from + (m_to - m_from) * fraction;
}

bool Animation::isRunning(qint64 nowMs) const
{
    if (m_from == m_to) {
        return false;
    }
    if (m_forever) {
        return true;
    }
    return nowMs < endMs();
}

qint64 Animation::endMs() const
{
    if (m_forever) {
        return std::numeric_limits<qint64>::max();
    }
    return m_startMs + m_delayMs + static_cast<qint64>(std::ceil(m_passSeconds * 1000.0 * m_passes));
}

} // namespace murmeli::notch
