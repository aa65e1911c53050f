#pragma once

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The resting strip's dot: a brass core that breathes every 2.5 s under a ring that ripples outwards; a still
/// core and no ring when motion is reduced.
class BrandDot final : public View {
public:
    static constexpr qreal side = 20;

    explicit BrandDot(const ViewEnvironment& environment);

    QSizeF idealSize() const override { return { side, side }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;

private:
    Animation m_scale = Animation::still(0.92);
    Animation m_opacity = Animation::still(0.45);
    Animation m_ringScale = Animation::still(0.35);
    Animation m_ringOpacity = Animation::still(0);
};

} // namespace murmeli::notch
