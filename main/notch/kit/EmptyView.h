#pragma once

#include "main/notch/kit/View.h"

namespace murmeli::notch {

/// Nothing at all: no size, no drawing; what a view shows when it has nothing to show.
class EmptyView final : public View {
public:
    QSizeF idealSize() const override { return {}; }
    void paint(QPainter&, const QRectF&, qint64) override { }
};

} // namespace murmeli::notch
