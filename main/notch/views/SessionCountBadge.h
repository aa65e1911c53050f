#pragma once

#include "main/notch/kit/TextView.h"

namespace murmeli::notch {

/// The number of agent sessions: a small brass dot and the count in the system's fixed-pitch face. Draws whatever
/// count it is given, 0 and negatives included; the strip decides when to show it.
class SessionCountBadge final : public View {
public:
    static constexpr qreal dotDiameter = 4;
    static constexpr qreal spacing = 3;

    explicit SessionCountBadge(int count);

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;

private:
    TextView m_text;
};

} // namespace murmeli::notch
