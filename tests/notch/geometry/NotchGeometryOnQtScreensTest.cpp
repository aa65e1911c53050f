#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "main/notch/geometry/NotchGeometry.h"
#include "main/notch/layout/NotchLayout.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/ScreenProviderFactory.h"

namespace murmeli::notch {
namespace {

// Linux reports no notch: the panel becomes the 200 x 32 strip, with no ears, hanging from the primary screen's
// top edge once its y-up frame is carried back to Qt's coordinates.
TEST(NotchGeometryOnQtScreensTest, TheStripHangsFromTheTopOfThePrimaryScreen)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    QTemporaryDir home;
    const platform::Defaults defaults(home.filePath(QStringLiteral("defaults.json")));
    const std::unique_ptr<platform::ScreenProvider> screens = platform::makeScreenProvider();

    const std::optional<NotchGeometry> g = NotchGeometry::current(*screens, defaults);
    ASSERT_TRUE(g.has_value());
    EXPECT_FALSE(g->isReal);
    EXPECT_DOUBLE_EQ(g->width, 200);
    EXPECT_DOUBLE_EQ(g->height, 32);

    const double width = NotchLayout::closedWidth(g->width, g->isReal, true);
    EXPECT_DOUBLE_EQ(width, 200);
    const QRectF panel(
        g->centerX - width / 2, g->panelTopY(NotchLayout::closedHeight), width, NotchLayout::closedHeight);
    const QRectF onScreen = screens->space().toQt(panel);
    const QRect geometry = primary->geometry();
    EXPECT_DOUBLE_EQ(onScreen.top(), geometry.top());
    EXPECT_DOUBLE_EQ(onScreen.center().x(), QRectF(geometry).center().x());
    EXPECT_DOUBLE_EQ(onScreen.height(), 36);
    // The band itself lies in the top 32 points of the screen.
    EXPECT_DOUBLE_EQ(screens->space().toQt(QRectF(0, g->topY, 1, g->height)).top(), geometry.top());
}

} // namespace
} // namespace murmeli::notch
