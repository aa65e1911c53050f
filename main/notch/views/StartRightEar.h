#pragma once

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/TextView.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The welcome strip's right half: the name slides 120 in from the right while it fades in (at once when motion is
/// reduced). It keeps its ideal width whatever its ear offers.
class StartRightEar final : public View {
public:
    explicit StartRightEar(const ViewEnvironment& environment);

    QSizeF idealSize() const override { return m_text.idealSize(); }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_offsetX.isRunning(nowMs); }

private:
    TextView m_text;
    Animation m_offsetX = Animation::still(0);
    Animation m_opacity = Animation::still(1);
};

} // namespace murmeli::notch
