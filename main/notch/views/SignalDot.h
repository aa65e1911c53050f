#pragma once

#include <QColor>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The signal dot's pulse and its period.
enum class NotchSignalAnimation { GreenPulse, BluePulse, AmberPulse, None };

/// Seconds of one pulse; 0 for None.
double pulsePeriod(NotchSignalAnimation animation);

/// A small glowing dot that pulses at its animation's period; still when the animation is None or motion is
/// reduced. Like the brand dot it asks for its own square at the pulse's pace, not for the frame timer.
class SignalDot final : public View {
public:
    static constexpr qreal diameter = 6.5;

    SignalDot(const ViewEnvironment& environment, QColor color, NotchSignalAnimation animation);

    QSizeF idealSize() const override { return { diameter, diameter }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;

private:
    const ViewEnvironment& m_environment;
    QColor m_color;
    int m_frameMs = 0;
    Animation m_scale = Animation::still(0.92);
    Animation m_opacity = Animation::still(0.55);
};

} // namespace murmeli::notch
