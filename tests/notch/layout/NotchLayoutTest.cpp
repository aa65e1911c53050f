#include "main/notch/layout/NotchLayout.h"

#include <gtest/gtest.h>

namespace murmeli::notch {
namespace {

TEST(NotchLayoutTest, ClosedAndExpandedWidths)
{
    const struct {
        bool isReal;
        bool isStart;
        double closed;
        double expanded;
    } cases[] = {
        { false, true, 200, 420 },
        { false, false, 200, 420 },
        { true, true, 440, 600 },
        { true, false, 380, 600 },
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(NotchLayout::closedWidth(200, c.isReal, c.isStart), c.closed) << c.isReal << c.isStart;
        EXPECT_DOUBLE_EQ(NotchLayout::expandedWidth(200, c.isReal), c.expanded) << c.isReal;
    }
    // A real notch measured at the floor keeps its ears.
    EXPECT_DOUBLE_EQ(NotchLayout::closedWidth(180, true, false), 360);
}

TEST(NotchLayoutTest, FallbackHeightCountsOneToTenRows)
{
    const struct {
        int sessions;
        double height;
    } cases[] = { { -3, 86 }, { 0, 86 }, { 1, 86 }, { 3, 158 }, { 10, 410 }, { 25, 410 } };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(NotchLayout::fallbackExpandedHeight(c.sessions), c.height) << c.sessions;
    }
    EXPECT_DOUBLE_EQ(NotchLayout::preAllocatedExpandedHeight(), 1884);
}

} // namespace
} // namespace murmeli::notch
