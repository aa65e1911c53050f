#pragma once

#include <array>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The recording wave: six brass bars that swell and shrink about the middle line every 0.6 s, each started a
/// little after its neighbour so that they move out of phase; six still bars when motion is reduced. A fixed,
/// time-driven figure: it does not follow the microphone level.
class PttWave final : public View {
public:
    static constexpr int barCount = 6;
    static constexpr qreal barWidth = 2;
    static constexpr qreal barSpacing = 2;
    static constexpr qreal height = 14;
    /// Start delay of each bar, left to right, in seconds.
    static constexpr std::array<double, barCount> delays { 0.0, 0.04, 0.10, 0.14, 0.08, 0.02 };

    explicit PttWave(const ViewEnvironment& environment);

    /// Height of bar index as a fraction of the wave's height, and its opacity, at nowMs.
    double barFraction(int index, qint64 nowMs) const { return m_bars[index].height.valueAt(nowMs); }
    double barOpacity(int index, qint64 nowMs) const { return m_bars[index].opacity.valueAt(nowMs); }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;

private:
    struct Bar {
        Animation height = Animation::still(0.2);
        Animation opacity = Animation::still(0.6);
    };
    std::array<Bar, barCount> m_bars;
};

} // namespace murmeli::notch
