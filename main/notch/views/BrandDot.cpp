#include "main/notch/views/BrandDot.h"

#include <QPainter>

#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/Glow.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/layout/NotchMotion.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

namespace {

constexpr qreal ringDiameter = 16;
constexpr qreal coreDiameter = 3.5;
constexpr qreal ringLargest = ringDiameter * 1.5;

} // namespace

BrandDot::BrandDot(const ViewEnvironment& environment) : m_environment(environment)
{
    if (environment.reducesMotion()) {
        m_scale = Animation::still(1.0);
        m_opacity = Animation::still(0.8);
        return;
    }
    const qint64 now = environment.nowMs();
    const MotionCurve breath = MotionCurve::easeInOut(NotchMotion::brandBreathSec * 0.5);
    m_scale = Animation(0.92, 1.15, now, breath).repeatingForever(true);
    m_opacity = Animation(0.45, 0.95, now, breath).repeatingForever(true);
    const MotionCurve ripple = MotionCurve::easeInOut(NotchMotion::brandBreathSec);
    m_ringScale = Animation(0.35, 1.5, now, ripple).repeatingForever(false);
    m_ringOpacity = Animation(0, 0.4, now, ripple).repeatingForever(false);
}

void BrandDot::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QPointF centre = aligned(idealSize(), frame).center();
    const qreal ringOpacity = m_ringOpacity.valueAt(nowMs);
    if (ringOpacity > 0) {
        painter.save();
        painter.setOpacity(painter.opacity() * ringOpacity);
        painter.translate(centre);
        painter.scale(m_ringScale.valueAt(nowMs), m_ringScale.valueAt(nowMs));
        painter.setPen(QPen(ui::Color::vantorBrass, 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(), ringDiameter / 2, ringDiameter / 2);
        painter.restore();
    }
    QColor shadow = ui::Color::vantorBrass;
    shadow.setAlphaF(0.5f);
    const qreal scale = m_scale.valueAt(nowMs);
    paintGlowingDisc(painter, centre, coreDiameter / 2 * scale, ui::Color::vantorBrass, shadow, 2.5 * scale,
        m_opacity.valueAt(nowMs));
    if (m_scale.isRunning(nowMs) || m_ringScale.isRunning(nowMs)) {
        m_environment.updateArea(
            painter.transform().mapRect(motionArea(centre)), FramePump::intervalFor(NotchMotion::brandBreathSec));
    }
}

QRectF BrandDot::motionArea(QPointF centre)
{
    const qreal half = ringLargest / 2 + 1;
    return { centre - QPointF(half, half), QSizeF(2 * half, 2 * half) };
}

} // namespace murmeli::notch
