#include "main/notch/placement/OverlayPlacementResolver.h"

#include <gtest/gtest.h>

#include "platform/desktop/fake/FakeScreenProvider.h"

namespace murmeli::notch {
namespace {

using platform::FakeScreenProvider;
using platform::ScreenInfo;
namespace Resolver = OverlayPlacementResolver;

const QRectF laptopFrame { 0, 0, 1512, 982 };

ScreenInfo laptop()
{
    return FakeScreenProvider::notchedScreen(69733382, QStringLiteral("Built-in Retina"), laptopFrame, 37, 650, 650);
}

ScreenInfo desk(std::optional<qint64> number = 4, QString name = QStringLiteral("Desk"))
{
    return FakeScreenProvider::plainScreen(number, std::move(name), QRectF(1512, 0, 1920, 1080));
}

TEST(OverlayPlacementResolverTest, OneOptionPerScreenInPlatformOrder)
{
    const FakeScreenProvider screens({ laptop(), desk(), desk(std::nullopt, QStringLiteral("Projector")) });
    const QList<OverlayDisplayOption> options = Resolver::availableDisplayOptions(screens);
    const QList<OverlayDisplayOption> expected = {
        { "display-69733382", "Built-in Retina", "Built-in notch \u00B7 1512\u00D7982" },
        { "display-4", "Desk", "Top-bar fallback \u00B7 1920\u00D71080" },
        { "Projector", "Projector", "Top-bar fallback \u00B7 1920\u00D71080" },
    };
    EXPECT_EQ(options, expected);
    EXPECT_TRUE(Resolver::availableDisplayOptions(FakeScreenProvider()).isEmpty());

    EXPECT_EQ(toString(Resolver::placementMode(laptop())), "Notch area");
    EXPECT_EQ(toString(Resolver::placementMode(desk())), "Top bar fallback");
}

TEST(OverlayPlacementResolverTest, ResolvesAPreferredScreenWithAFallbackChain)
{
    const ScreenInfo other = desk(5, QStringLiteral("Other"));
    const struct {
        const char* what;
        QList<ScreenInfo> list;
        std::optional<int> mainIndex;
        std::optional<QString> preferred;
        const char* screen;
        const char* summary;
    } cases[] = {
        { "automatic: the notched screen", { desk(), laptop() }, 0, std::nullopt, "Built-in Retina", "automatic" },
        { "automatic: the main screen", { desk(), other }, 1, std::nullopt, "Other", "automatic" },
        { "automatic: the first screen", { desk(), other }, std::nullopt, std::nullopt, "Desk", "automatic" },
        { "manual", { laptop(), desk() }, 0, "display-4", "Desk", "manual" },
        { "manual by name", { laptop(), desk(std::nullopt) }, 0, "Desk", "Desk", "manual" },
        { "missing, notched", { desk(), laptop() }, 0, "display-9", "Built-in Retina",
            "manual missing, auto fallback" },
        { "missing, main", { desk(), other }, 1, "display-9", "Other", "manual missing, main fallback" },
        { "missing, first", { desk(), other }, std::nullopt, "display-9", "Desk",
            "manual missing, first-display fallback" },
        { "automatic is no identifier", { desk(), laptop() }, 0, OverlayDisplayOption::automaticID, "Built-in Retina",
            "manual missing, auto fallback" },
    };
    for (const auto& c : cases) {
        FakeScreenProvider screens(c.list);
        screens.setMainScreenIndex(c.mainIndex);
        const std::optional<Resolver::ResolvedScreen> resolved = Resolver::resolveScreen(screens, c.preferred);
        ASSERT_TRUE(resolved.has_value()) << c.what;
        EXPECT_EQ(resolved->screen.name, c.screen) << c.what;
        EXPECT_EQ(resolved->selectionSummary, c.summary) << c.what;
    }
    EXPECT_FALSE(Resolver::resolveScreen(FakeScreenProvider(), std::nullopt).has_value());
    EXPECT_FALSE(Resolver::diagnostics(FakeScreenProvider(), std::nullopt, QSizeF(400, 36)).has_value());
}

TEST(OverlayPlacementResolverTest, OverlayHangsFromTheTopEdgeNoWiderThanTheVisibleFrame)
{
    EXPECT_EQ(Resolver::frame(laptop(), QSizeF(600, 100)), QRectF(456, 882, 600, 100));
    // The visible frame is 1512 wide: the overlay is held to 1448 and stays centred.
    EXPECT_EQ(Resolver::frame(laptop(), QSizeF(2000, 100)), QRectF(32, 882, 1448, 100));
    EXPECT_DOUBLE_EQ(Resolver::panelTopY(laptop(), 36), 946);

    ScreenInfo tiny = desk();
    tiny.visibleFrame.setWidth(40);
    EXPECT_DOUBLE_EQ(Resolver::frame(tiny, QSizeF(600, 36)).width(), 0);
}

TEST(OverlayPlacementResolverTest, DiagnosticsTexts)
{
    ScreenInfo screen = laptop();
    screen.frame.setWidth(1511.6);
    screen.safeAreaInsets = { 37.9, 0, 0.5, 2.99 };
    const FakeScreenProvider screens({ screen });
    const std::optional<OverlayPlacementDiagnostics> record
        = Resolver::diagnostics(screens, std::nullopt, QSizeF(440, 36.5));
    ASSERT_TRUE(record.has_value());

    EXPECT_EQ(record->targetScreenID, "display-69733382");
    EXPECT_EQ(record->targetDescription(), "Built-in Retina \u00B7 automatic");
    EXPECT_EQ(record->modeDescription(), "Notch area");
    EXPECT_EQ(record->screenFrameDescription(), "{{0, 0}, {1512, 982}}");
    EXPECT_EQ(record->visibleFrameDescription(), "{{0, 0}, {1512, 945}}");
    EXPECT_EQ(record->overlayFrameDescription(), "{{536, 946}, {440, 37}}");
    EXPECT_EQ(record->safeAreaDescription(), "top 37 \u00B7 left 0 \u00B7 bottom 0 \u00B7 right 2");
    EXPECT_EQ(OverlayPlacementDiagnostics::describe(QRectF(-0.5, 2.5, 1, 1)), "{{-1, 3}, {1, 1}}");
}

} // namespace
} // namespace murmeli::notch
