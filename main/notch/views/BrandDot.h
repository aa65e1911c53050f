#pragma once

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The resting strip's dot: a brass core that breathes every 2.5 s under a ring that ripples outwards; a still
/// core and no ring when motion is reduced. It asks the host for its own small square at the breath's pace rather
/// than for the window's frame timer, so a resting panel redraws a few hundred pixels a few times a second.
class BrandDot final : public View {
public:
    static constexpr qreal side = 20;

    explicit BrandDot(const ViewEnvironment& environment);

    QSizeF idealSize() const override { return { side, side }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    /// The square the dot draws in at its largest (ring and glow), centred on centre.
    static QRectF motionArea(QPointF centre);

private:
    const ViewEnvironment& m_environment;
    Animation m_scale = Animation::still(0.92);
    Animation m_opacity = Animation::still(0.45);
    Animation m_ringScale = Animation::still(0.35);
    Animation m_ringOpacity = Animation::still(0);
};

} // namespace murmeli::notch
