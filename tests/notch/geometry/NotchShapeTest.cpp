#include "main/notch/geometry/NotchShape.h"

#include <gtest/gtest.h>

#include "tests/notch/PathPoints.h"

namespace murmeli::notch {
namespace {

TEST(NotchShapeTest, OutlineRunsRoundFourQuadraticCorners)
{
    // The bottom radius of 20 is held to half the height.
    const QList<QPointF> closedStrip = { { 100, 0 }, { 6, 0 }, { 0, 6 }, { 0, 18 }, { 18, 36 }, { 182, 36 },
        { 200, 18 }, { 200, 6 }, { 194, 0 }, { 100, 0 } };
    EXPECT_EQ(test::pathPoints(NotchShape::closed().path(QRectF(0, 0, 200, 36))), closedStrip);

    // Radii of 22 and 36 in a 10 x 10 square are both held to 5: a lozenge of four arcs.
    const QList<QPointF> lozenge = { { 5, 0 }, { 0, 5 }, { 5, 10 }, { 10, 5 }, { 5, 0 } };
    const QPainterPath small = NotchShape::opened().path(QRectF(0, 0, 10, 10));
    EXPECT_EQ(test::pathPoints(small), lozenge);
    EXPECT_TRUE(small.contains(QPointF(5, 5)));
    EXPECT_FALSE(small.contains(QPointF(1, 1)));
}

TEST(NotchShapeTest, InterpolatesBothRadiiTogether)
{
    const NotchShape halfway = NotchShape::closed().interpolated(NotchShape::opened(), 0.5);
    EXPECT_DOUBLE_EQ(halfway.topCornerRadius, 14);
    EXPECT_DOUBLE_EQ(halfway.bottomCornerRadius, 28);
    EXPECT_EQ(NotchShape::closed().interpolated(NotchShape::opened(), 1), NotchShape::opened());
}

} // namespace
} // namespace murmeli::notch
