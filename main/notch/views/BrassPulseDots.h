#pragma once

#include <array>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// Three brass dots pulsing in one rhythm, each 0.2 s behind its left neighbour: the tape's sign that the text is
/// being polished. Still and fully lit when motion is reduced.
class BrassPulseDots final : public View {
public:
    static constexpr qreal dot = 6;
    static constexpr qreal spacing = 4;
    static constexpr double pulseSeconds = 0.6;

    explicit BrassPulseDots(const ViewEnvironment& environment);

    /// The dot's opacity at nowMs.
    double opacityAt(int index, qint64 nowMs) const { return m_opacity[static_cast<size_t>(index)].valueAt(nowMs); }

    QSizeF idealSize() const override { return { 3 * dot + 2 * spacing, dot }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_opacity[0].isRunning(nowMs); }

private:
    std::array<Animation, 3> m_opacity { Animation::still(1), Animation::still(1), Animation::still(1) };
};

} // namespace murmeli::notch
