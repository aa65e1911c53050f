#pragma once

#include <QPainterPath>
#include <QRectF>

#include "main/notch/layout/NotchLayout.h"

namespace murmeli::notch {

/// A notch outline whose top corners flare outwards into the screen edge, so the body below the top edge is inset
/// by the top radius on both sides.
struct NotchShapeV3 final {
    static constexpr double closedTopRadius = NotchLayout::shapeClosedTopR;
    static constexpr double closedBottomRadius = NotchLayout::shapeClosedBotR;
    static constexpr double openedTopRadius = NotchLayout::shapeOpenedTopR;
    static constexpr double openedBottomRadius = NotchLayout::shapeOpenedBotR;

    double topCornerRadius = 0;
    double bottomCornerRadius = 0;

    /// Both radii a fraction of the way from this shape to target, so a change of form animates as one.
    NotchShapeV3 interpolated(const NotchShapeV3& target, double progress) const;
    /// The top radius held to a quarter of the rect's width and height, the bottom one to a quarter of its width
    /// and half its height; y grows downwards.
    QPainterPath path(const QRectF& rect) const;

    friend bool operator==(const NotchShapeV3&, const NotchShapeV3&) = default;
};

} // namespace murmeli::notch
