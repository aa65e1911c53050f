#include "main/notch/kit/Glow.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace murmeli::notch {

void paintGlowingDisc(
    QPainter& painter, QPointF centre, qreal radius, const QColor& fill, const QColor& glow, qreal blur, qreal opacity)
{
    const qreal alpha = std::clamp(opacity, 0.0, 1.0);
    if (alpha <= 0 || radius <= 0) {
        return;
    }
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setOpacity(painter.opacity() * alpha);
    if (blur > 0 && glow.alpha() > 0) {
        const qreal outer = radius + blur;
        QRadialGradient halo(centre, outer);
        QColor edge = glow;
        edge.setAlphaF(glow.alphaF() * 0.6f);
        QColor clear = glow;
        clear.setAlpha(0);
        halo.setColorAt(0, glow);
        halo.setColorAt(std::max(0.0, (radius - blur / 2) / outer), glow);
        halo.setColorAt(radius / outer, edge);
        halo.setColorAt(1, clear);
        // Only round the disc: the disc and its shadow fade as one, so none of the shadow shows through the disc.
        QPainterPath ring;
        ring.addEllipse(centre, outer, outer);
        ring.addEllipse(centre, radius, radius);
        painter.fillPath(ring, halo);
    }
    painter.setBrush(fill);
    painter.drawEllipse(centre, radius, radius);
    painter.restore();
}

} // namespace murmeli::notch
