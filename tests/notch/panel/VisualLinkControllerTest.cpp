#include "main/notch/panel/VisualLinkController.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "main/notch/kit/ViewHost.h"
#include "main/notch/views/BrassParticleLinkView.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/desktop/fake/FakeScreenProvider.h"
#include "platform/overlay/fake/FakeOverlay.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using notch::BrassParticleLinkView;
using platform::FakeScreenProvider;

namespace {

constexpr qint64 pid = 4242;

/// Two displays without a notch, the second standing above the first (y up), and a program with one window.
struct Link {
    Link()
    {
        screens.setScreens({ FakeScreenProvider::plainScreen(1, "low", QRectF(0, 0, 1920, 1080)),
            FakeScreenProvider::plainScreen(2, "high", QRectF(0, 1080, 1920, 1080)) });
        screens.setSpace(platform::ScreenSpace(QRectF(0, 0, 1920, 1080)));
        desktop.addWindow({ 7, "xterm", "XTerm", pid, "agent" });
    }

    test::FakeClock clock;
    QTemporaryDir home;
    platform::Defaults defaults { home.filePath(QStringLiteral("defaults.json")) };
    FakeScreenProvider screens;
    platform::FakeDesktop desktop;
    platform::FakeOverlay overlay;
    notch::VisualLinkController link { { clock, screens, defaults, desktop, overlay } };
};

} // namespace

TEST(VisualLinkControllerTest, TheParticlesFadeInAndOut)
{
    const struct {
        double p;
        double opacity;
    } cases[]
        = { { -0.1, 0 }, { 0, 0 }, { 0.075, 0.5 }, { 0.15, 1 }, { 0.69, 1 }, { 0.85, 0.5 }, { 1, 0 }, { 1.05, 0 } };
    for (const auto& c : cases) {
        EXPECT_NEAR(BrassParticleLinkView::particleOpacity(c.p), c.opacity, 1e-9) << c.p;
    }
}

TEST(VisualLinkControllerTest, WhichWindowsGetATrailAndWhereItRuns)
{
    const struct {
        const char* what;
        std::optional<qint64> pid;
        std::optional<QRect> frame; // Qt's coordinates, y down
        bool shown;
        QPointF from;
        QPointF to;
        int screen;
    } cases[] = {
        { "no program", std::nullopt, QRect(400, 300, 800, 600), false, {}, {}, 0 },
        { "no window of it", 99, QRect(400, 300, 800, 600), false, {}, {}, 0 },
        { "a window under the notch", pid, QRect(400, 300, 800, 600), true, QPointF(960, 32), QPointF(800, 300), 1 },
        { "50 wide", pid, QRect(400, 300, 50, 400), false, {}, {}, 0 },
        { "51 wide", pid, QRect(400, 300, 51, 400), true, QPointF(960, 32), QPointF(425.5, 300), 1 },
        { "touching the top", pid, QRect(400, 52, 800, 600), false, {}, {}, 0 },
        { "on the display above", pid, QRect(300, -900, 800, 600), true, QPointF(960, 0), QPointF(700, 180), 2 },
    };
    for (const auto& c : cases) {
        Link link;
        link.overlay.setFrame(7, c.frame);
        link.link.trigger(c.pid);
        BrassParticleLinkView* trail = link.link.trail();
        ASSERT_EQ(trail != nullptr, c.shown) << c.what;
        if (!trail) {
            continue;
        }
        EXPECT_EQ(trail->from(), c.from) << c.what;
        EXPECT_EQ(trail->to(), c.to) << c.what;
        EXPECT_EQ(link.link.overlayScreen()->displayNumber, c.screen) << c.what;
    }
}

TEST(VisualLinkControllerTest, ASecondTriggerRestartsTheTrailOnTheSameOverlay)
{
    Link link;
    link.overlay.setFrame(7, QRect(400, 300, 800, 600));
    link.link.trigger(pid);
    notch::ViewHost* overlay = link.link.overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isVisible());
    link.clock.advance(200);
    link.link.trigger(pid);
    EXPECT_EQ(link.link.overlay(), overlay);
    link.clock.advance(419);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_NE(link.link.trail(), nullptr);
    link.clock.advance(1);
    EXPECT_FALSE(overlay->isVisible());
    EXPECT_EQ(link.link.trail(), nullptr);
}
