#include "main/notch/geometry/NotchGeometry.h"

#include <limits>

#include <QJsonValue>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "main/notch/geometry/NotchScreenPreference.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/fake/FakeScreenProvider.h"

namespace murmeli::notch {
namespace {

using platform::FakeScreenProvider;
using platform::ScreenInfo;

const QRectF laptopFrame { 0, 0, 1512, 982 };

ScreenInfo laptop(double inset = 37, double areaWidth = 650)
{
    return FakeScreenProvider::notchedScreen(1, QStringLiteral("Built-in"), laptopFrame, inset, areaWidth, areaWidth);
}

ScreenInfo external(qint64 number = 2)
{
    // Right of the laptop and taller, as a desk screen stands.
    return FakeScreenProvider::plainScreen(number, QStringLiteral("External"), QRectF(1512, -98, 1920, 1080));
}

TEST(NotchGeometryTest, MeasuresTheBandBesideANotch)
{
    const struct {
        const char* what;
        ScreenInfo screen;
        double width;
        double height;
    } cases[] = {
        { "housing plus compensation", laptop(), 216, 37 },
        { "a narrow housing is raised to the floor", laptop(37, 690), 180, 37 },
        { "no top inset: the band is the left area's height", laptop(0), 216, 32 },
    };
    for (const auto& c : cases) {
        const NotchGeometry g = NotchGeometry::geometry(c.screen);
        EXPECT_TRUE(g.isReal) << c.what;
        EXPECT_DOUBLE_EQ(g.width, c.width) << c.what;
        EXPECT_DOUBLE_EQ(g.height, c.height) << c.what;
        EXPECT_DOUBLE_EQ(g.centerX, 756) << c.what;
        EXPECT_DOUBLE_EQ(g.topY, c.screen.auxiliaryTopLeftArea->y()) << c.what;
        EXPECT_EQ(g.screen, c.screen) << c.what;
    }

    ScreenInfo shallow = laptop(0);
    shallow.auxiliaryTopLeftArea = QRectF(0, 962, 650, 20);
    EXPECT_DOUBLE_EQ(NotchGeometry::geometry(shallow).height, 28) << "a shallow band is raised to the floor";
    ScreenInfo noInset = laptop();
    noInset.safeAreaInsets.top = std::numeric_limits<double>::quiet_NaN();
    EXPECT_DOUBLE_EQ(NotchGeometry::geometry(noInset).height, 37) << "a non-finite inset falls back to the area";
}

TEST(NotchGeometryTest, AScreenWithoutBothAreasGetsTheStrip)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ScreenInfo leftOnly = laptop();
    leftOnly.auxiliaryTopRightArea.reset();
    ScreenInfo broken = laptop();
    broken.auxiliaryTopRightArea = QRectF(nan, 945, 650, 37);
    const struct {
        const char* what;
        ScreenInfo screen;
    } cases[] = {
        { "no notch, as every screen on Linux", external() },
        { "only the left area", leftOnly },
        { "an area with a non-finite edge", broken },
    };
    for (const auto& c : cases) {
        const NotchGeometry g = NotchGeometry::geometry(c.screen);
        EXPECT_FALSE(g.isReal) << c.what;
        EXPECT_DOUBLE_EQ(g.width, 200) << c.what;
        EXPECT_DOUBLE_EQ(g.height, 32) << c.what;
        EXPECT_DOUBLE_EQ(g.centerX, c.screen.frame.center().x()) << c.what;
        EXPECT_DOUBLE_EQ(g.topY, c.screen.frame.y() + c.screen.frame.height() - 32) << c.what;
    }
}

TEST(NotchGeometryTest, PanelTopTouchesTheScreensTopEdge)
{
    EXPECT_DOUBLE_EQ(NotchGeometry::geometry(laptop()).panelTopY(36), 946);
    EXPECT_DOUBLE_EQ(NotchGeometry::geometry(external()).panelTopY(36), 946);
}

class NotchScreenChoiceTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    platform::Defaults defaults { home.filePath(QStringLiteral("defaults.json")) };
    FakeScreenProvider screens;

    QString chosen()
    {
        const std::optional<ScreenInfo> screen = NotchGeometry::selectScreen(screens, defaults);
        return screen ? screen->name : QStringLiteral("none");
    }
};

TEST_F(NotchScreenChoiceTest, PinnedThenNotchedThenMainThenFirst)
{
    ScreenInfo leftOnly = FakeScreenProvider::plainScreen(3, QStringLiteral("Left area only"), laptopFrame);
    leftOnly.auxiliaryTopLeftArea = QRectF(); // present, though empty
    ScreenInfo insetOnly = FakeScreenProvider::plainScreen(4, QStringLiteral("Inset only"), laptopFrame);
    insetOnly.safeAreaInsets.top = 24;
    const ScreenInfo plainA = FakeScreenProvider::plainScreen(5, QStringLiteral("Plain A"), laptopFrame);
    const ScreenInfo plainB = FakeScreenProvider::plainScreen(6, QStringLiteral("Plain B"), external().frame);

    const struct {
        const char* what;
        QList<ScreenInfo> list;
        std::optional<int> mainIndex;
        QJsonValue pinned;
        const char* expected;
    } cases[] = {
        { "the notched screen beats the main one", { external(), laptop() }, 0, QJsonValue::Undefined, "Built-in" },
        { "a pinned number wins over a notch", { external(), laptop() }, 1, 2, "External" },
        { "a pinned number nobody has falls through", { external(), laptop() }, 0, 99, "Built-in" },
        { "a pinned value that is no whole number falls through", { external(), laptop() }, 0, 2.5, "Built-in" },
        { "a pinned string falls through", { external(), laptop() }, 0, "2", "Built-in" },
        { "a left area counts, even empty", { plainA, leftOnly }, 0, QJsonValue::Undefined, "Left area only" },
        { "a top inset counts", { plainA, insetOnly }, 0, QJsonValue::Undefined, "Inset only" },
        { "no notch anywhere: the main screen", { plainA, plainB }, 1, QJsonValue::Undefined, "Plain B" },
        { "no notch and no main: the first", { plainA, plainB }, std::nullopt, QJsonValue::Undefined, "Plain A" },
        { "no screens", {}, std::nullopt, 2, "none" },
    };
    for (const auto& c : cases) {
        screens.setScreens(c.list);
        screens.setMainScreenIndex(c.mainIndex);
        defaults.setValue(QString::fromLatin1(NotchScreenPreference::udKey), c.pinned);
        EXPECT_EQ(chosen(), QString::fromLatin1(c.expected)) << c.what;
    }
}

TEST_F(NotchScreenChoiceTest, CurrentMeasuresTheChosenScreen)
{
    EXPECT_FALSE(NotchGeometry::current(screens, defaults).has_value());
    screens.setScreens({ external(), laptop() });
    defaults.setValue(QString::fromLatin1(NotchScreenPreference::udKey), 2);
    const std::optional<NotchGeometry> g = NotchGeometry::current(screens, defaults);
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->screen.name, "External");
    EXPECT_FALSE(g->isReal);
    EXPECT_DOUBLE_EQ(g->centerX, 1512 + 960);
}

} // namespace
} // namespace murmeli::notch
