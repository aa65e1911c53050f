#include "platform/desktop/ScreenSpace.h"

#include <gtest/gtest.h>

namespace murmeli::platform {
namespace {

TEST(ScreenSpaceTest, MirrorsAboutThePrimaryScreensLowerEdge)
{
    const struct {
        const char* what;
        QRectF primary;
        QRectF qt;
        QRectF yUp;
    } cases[] = {
        { "the primary screen itself", { 0, 0, 1512, 982 }, { 0, 0, 1512, 982 }, { 0, 0, 1512, 982 } },
        { "a strip at the top edge", { 0, 0, 1512, 982 }, { 656, 0, 200, 36 }, { 656, 946, 200, 36 } },
        { "a taller screen to the right, tops aligned", { 0, 0, 1512, 982 }, { 1512, 0, 1920, 1080 },
            { 1512, -98, 1920, 1080 } },
        { "a screen above the primary one", { 0, 0, 1512, 982 }, { 0, -1080, 1920, 1080 }, { 0, 982, 1920, 1080 } },
        { "a primary screen away from the origin", { 1920, 100, 1280, 800 }, { 1920, 100, 1280, 30 },
            { 0, 770, 1280, 30 } },
    };
    for (const auto& c : cases) {
        const ScreenSpace space(c.primary);
        EXPECT_EQ(space.fromQt(c.qt), c.yUp) << c.what;
        EXPECT_EQ(space.toQt(c.yUp), c.qt) << c.what;
        // A rectangle's top left corner in Qt is its top left corner in y-up too: the corner point maps alike.
        EXPECT_EQ(space.fromQt(c.qt.topLeft()), QPointF(c.yUp.x(), c.yUp.y() + c.yUp.height())) << c.what;
        EXPECT_EQ(space.toQt(space.fromQt(c.qt.bottomRight())), c.qt.bottomRight()) << c.what;
    }
}

} // namespace
} // namespace murmeli::platform
