#pragma once

#include <QList>

#include "main/notch/tokens/NotchGeometryV3.h"
#include "main/notch/tokens/NotchShapeV3.h"

namespace murmeli::notch {

/// The size and corner radii of one of the panel's forms, in points.
struct NotchFormToken final {
    double width = 0;
    double height = 0;
    double topRadius = 0;
    double bottomRadius = 0;

    static constexpr NotchFormToken closed()
    {
        return { NotchGeometryV3::closedWidth, NotchGeometryV3::closedHeight, NotchShapeV3::closedTopRadius,
            NotchShapeV3::closedBottomRadius };
    }
    static constexpr NotchFormToken openedRecording()
    {
        return { NotchGeometryV3::openedRecordingWidth, NotchGeometryV3::openedRecordingHeight,
            NotchShapeV3::openedTopRadius, NotchShapeV3::openedBottomRadius };
    }
    /// The opened session list, as tall as its rows up to the list's ceiling.
    static NotchFormToken openedList(const QList<double>& rowHeights);

    friend bool operator==(const NotchFormToken&, const NotchFormToken&) = default;
};

} // namespace murmeli::notch
