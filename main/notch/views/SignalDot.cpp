#include "main/notch/views/SignalDot.h"

#include <QPainter>

#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/Glow.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/layout/NotchMotion.h"

namespace murmeli::notch {

double pulsePeriod(NotchSignalAnimation animation)
{
    switch (animation) {
    case NotchSignalAnimation::GreenPulse:
        return NotchMotion::greenPulseSec;
    case NotchSignalAnimation::BluePulse:
        return NotchMotion::bluePulseSec;
    case NotchSignalAnimation::AmberPulse:
        return NotchMotion::amberPulseSec;
    case NotchSignalAnimation::None:
        break;
    }
    return 0;
}

SignalDot::SignalDot(const ViewEnvironment& environment, QColor color, NotchSignalAnimation animation)
    : m_environment(environment), m_color(color)
{
    const double period = pulsePeriod(animation);
    if (environment.reducesMotion() || period <= 0) {
        m_scale = Animation::still(1.0);
        m_opacity = Animation::still(0.9);
        return;
    }
    m_frameMs = FramePump::intervalFor(period);
    const MotionCurve half = MotionCurve::easeInOut(period * 0.5);
    m_scale = Animation(0.92, 1.1, environment.nowMs(), half).repeatingForever(true);
    m_opacity = Animation(0.55, 1.0, environment.nowMs(), half).repeatingForever(true);
}

void SignalDot::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const qreal scale = m_scale.valueAt(nowMs);
    const QPointF centre = aligned(idealSize(), frame).center();
    paintGlowingDisc(painter, centre, diameter / 2 * scale, m_color, m_color, 2 * scale, m_opacity.valueAt(nowMs));
    if (m_scale.isRunning(nowMs)) {
        // The disc at its largest with its glow.
        const qreal half = diameter / 2 * 1.1 + 2 * 1.1 * 2 + 1;
        m_environment.updateArea(
            painter.transform().mapRect(QRectF(centre - QPointF(half, half), QSizeF(2 * half, 2 * half))), m_frameMs);
    }
}

} // namespace murmeli::notch
