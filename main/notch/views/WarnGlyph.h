#pragma once

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The amber warning triangle, pulsing between 55 % and full opacity at the amber period; 95 % and still when
/// motion is reduced.
class WarnGlyph final : public View {
public:
    static constexpr qreal side = 13;

    explicit WarnGlyph(const ViewEnvironment& environment);

    QSizeF idealSize() const override { return { side, side }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_pulse.isRunning(nowMs); }

private:
    Animation m_pulse = Animation::still(0.55);
};

} // namespace murmeli::notch
