#include "platform/desktop/qt/QtScreenProvider.h"

#include <QGuiApplication>
#include <QMap>
#include <QScreen>

#include <gtest/gtest.h>

#include "tests/platform/desktop/TwoScreens.h"

namespace murmeli::platform {
namespace {

// The suite's main starts Qt's offscreen platform with the screens of TwoScreens.h.
TEST(QtScreenProviderTest, DescribesEachScreenInYUpPointsWithoutANotch)
{
    ASSERT_EQ(QGuiApplication::screens().size(), 2) << "the offscreen platform ignored its screen file";
    const QtScreenProvider provider;
    const QList<ScreenInfo> screens = provider.screens();
    ASSERT_EQ(screens.size(), 2);

    // y-up frames by screen name; the origin sits at the bottom left of whichever screen Qt makes primary.
    const QString primary = QGuiApplication::primaryScreen()->name();
    const QMap<QString, QRectF> expectedFrames = primary == QLatin1String("eDP-1")
        ? QMap<QString, QRectF> { { "eDP-1", { 0, 0, 1512, 982 } }, { "DP-2", { 1512, -98, 1920, 1080 } } }
        : QMap<QString, QRectF> { { "DP-2", { 0, 0, 1920, 1080 } }, { "eDP-1", { -1512, 98, 1512, 982 } } };
    for (int i = 0; i < 2; ++i) {
        const QScreen& qtScreen = *QGuiApplication::screens().at(i);
        const ScreenInfo& screen = screens.at(i);
        EXPECT_EQ(screen.name, qtScreen.name()) << "in Qt's order";
        EXPECT_EQ(screen.frame, expectedFrames.value(screen.name)) << screen.name.toStdString();
        EXPECT_EQ(provider.space().toQt(screen.visibleFrame), QRectF(qtScreen.availableGeometry()))
            << screen.name.toStdString();
        EXPECT_EQ(screen.safeAreaInsets, EdgeInsets {}) << i;
        EXPECT_FALSE(screen.auxiliaryTopLeftArea.has_value()) << i;
        EXPECT_FALSE(screen.auxiliaryTopRightArea.has_value()) << i;
        EXPECT_EQ(screen.displayNumber, QtScreenProvider::displayNumberOf(qtScreen)) << i;
    }
    EXPECT_NE(screens.at(0).displayNumber, screens.at(1).displayNumber);
    EXPECT_EQ(provider.screens(), screens) << "the numbers stay put from one reading to the next";

    const std::optional<ScreenInfo> main = provider.mainScreen();
    ASSERT_TRUE(main.has_value());
    EXPECT_EQ(main->name, QGuiApplication::primaryScreen()->name());
}

} // namespace
} // namespace murmeli::platform
