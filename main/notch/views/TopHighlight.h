#pragma once

#include "main/notch/kit/View.h"

namespace murmeli::notch {

/// The thin warm line along the top edge of the panel's shape: one point high, as wide as offered, brightest in the
/// middle and fading out over the outer 15 % each side.
class TopHighlight final : public View {
public:
    QSizeF idealSize() const override { return { 0, 1 }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
};

} // namespace murmeli::notch
