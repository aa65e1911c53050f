#pragma once

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The amber warning triangle, pulsing between 55 % and full opacity at the amber period; 95 % and still when
/// motion is reduced. Like the brand dot it asks the host for its own small square at the pulse's pace rather than
/// for the window's frame timer: a request or a question may wait for minutes.
class WarnGlyph final : public View {
public:
    static constexpr qreal side = 13;

    explicit WarnGlyph(const ViewEnvironment& environment);

    QSizeF idealSize() const override { return { side, side }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;

private:
    const ViewEnvironment& m_environment;
    Animation m_pulse = Animation::still(0.55);
};

} // namespace murmeli::notch
