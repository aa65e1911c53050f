#include "main/notch/views/StartRightEar.h"

#include <QPainter>

#include "main/notch/layout/NotchMotion.h"
#include "main/notch/views/StripEars.h"

namespace murmeli::notch {

StartRightEar::StartRightEar(const ViewEnvironment& environment)
    : m_text(QStringLiteral("murmeli"), StripEars::greetingStyle())
{
    if (environment.reducesMotion()) {
        return;
    }
    const MotionCurve slide = MotionCurve::easeOut(NotchMotion::startSlideInDuration);
    m_offsetX = Animation(120, 0, environment.nowMs(), slide);
    m_opacity = Animation(0, 1, environment.nowMs(), slide);
}

void StartRightEar::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    painter.save();
    painter.setOpacity(painter.opacity() * m_opacity.valueAt(nowMs));
    m_text.paint(painter, frame.translated(m_offsetX.valueAt(nowMs), 0), nowMs);
    painter.restore();
}

} // namespace murmeli::notch
