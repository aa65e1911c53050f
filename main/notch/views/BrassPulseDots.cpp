#include "main/notch/views/BrassPulseDots.h"

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/notch/kit/Stack.h"

namespace murmeli::notch {

BrassPulseDots::BrassPulseDots(const ViewEnvironment& environment)
{
    if (environment.reducesMotion()) {
        return;
    }
    const qint64 now = environment.nowMs();
    for (size_t i = 0; i < m_opacity.size(); ++i) {
        m_opacity[i] = Animation(0.35, 1.0, now, MotionCurve::easeInOut(pulseSeconds))
                           .repeatingForever(true)
                           .delayed(static_cast<qint64>(i) * 200);
    }
}

void BrassPulseDots::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF row = aligned(idealSize(), frame);
    painter.setPen(Qt::NoPen);
    for (size_t i = 0; i < m_opacity.size(); ++i) {
        QColor colour = ui::Color::vantorBrass;
        colour.setAlphaF(static_cast<float>(m_opacity[i].valueAt(nowMs)));
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(row.left() + static_cast<qreal>(i) * (dot + spacing), row.top(), dot, dot));
    }
}

} // namespace murmeli::notch
