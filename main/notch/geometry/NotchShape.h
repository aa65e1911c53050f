#pragma once

#include <QPainterPath>
#include <QRectF>

#include "main/notch/layout/NotchLayout.h"

namespace murmeli::notch {

/// The outline of the notch body: small top radii against the screen edge, larger bottom radii on the free edge.
struct NotchShape final {
    double topCornerRadius = 0;
    double bottomCornerRadius = 0;

    static constexpr NotchShape closed() { return { NotchLayout::shapeClosedTopR, NotchLayout::shapeClosedBotR }; }
    static constexpr NotchShape opened() { return { NotchLayout::shapeOpenedTopR, NotchLayout::shapeOpenedBotR }; }

    /// Both radii a fraction of the way from this shape to target, so a change of form animates as one.
    NotchShape interpolated(const NotchShape& target, double progress) const;
    /// The outline in rect, y growing downwards; each radius is held to half the rect's width and height, and the
    /// four corners are quadratic arcs.
    QPainterPath path(const QRectF& rect) const;

    friend bool operator==(const NotchShape&, const NotchShape&) = default;
};

} // namespace murmeli::notch
