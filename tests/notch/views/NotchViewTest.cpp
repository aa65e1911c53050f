#include "main/notch/views/NotchView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "main/notch/model/PanelViewModel.h"
#include "main/notch/layout/NotchExpansionState.h"
#include "main/notch/views/ContentAreaView.h"
#include "main/notch/views/NotchASRTape.h"
#include "main/notch/views/VoiceBadge.h"
#include "platform/defaults/Defaults.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using notch::NotchView;

namespace {

struct Root {
    explicit Root(qreal notchWidth = 200, bool isReal = false)
    {
        view = std::make_unique<NotchView>(environment,
            notch::NotchViewLinks { vm, state, defaults, notchWidth, 32, isReal, [this] { ++settingsOpened; },
                [this] { ++permissionsAsked; }, {} });
    }

    void paint()
    {
        QImage image(600, 700, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        view->paint(painter, QRectF(0, 0, 600, 700), clock.monotonicMs());
    }

    test::FakeClock clock;
    notch::ViewEnvironment environment { &clock, {}, {} };
    QTemporaryDir home;
    platform::Defaults defaults { home.filePath(QStringLiteral("defaults.json")) };
    notch::PanelViewModel vm { clock };
    notch::NotchExpansionState state;
    int settingsOpened = 0;
    int permissionsAsked = 0;
    std::unique_ptr<NotchView> view;
};

} // namespace

TEST(NotchViewTest, WidthOfTheBox)
{
    const struct {
        const char* what;
        bool expanded;
        bool tape;
        qreal notchWidth;
        bool isReal;
        bool isStart;
        qreal width;
    } cases[] = {
        { "notch", false, false, 200, true, false, 380 },
        { "notch, tape", false, true, 200, true, false, 560 },
        { "wide notch, tape", false, true, 400, true, false, 580 },
        { "no notch, tape", false, true, 200, false, false, 560 },
        { "expanded, notch", true, true, 200, true, false, 600 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NotchView::contentWidth(c.expanded, c.tape, c.notchWidth, c.isReal, c.isStart), c.width) << c.what;
    }
}

TEST(NotchViewTest, HeightOfTheBox)
{
    const struct {
        const char* what;
        std::function<void(notch::PanelViewModel&)> set;
        bool expanded;
        qreal badge;
        qreal height;
    } cases[] = {
        { "closed", [](auto&) {}, false, 0, 32 },
        { "closed, banner", [](auto& vm) { vm.setAccessibilityNeedGrant(true); }, false, 0, 54 },
        { "banner hidden by a take", [](auto& vm) { vm.setAccessibilityNeedGrant(true), vm.setPttActive(true); }, false,
            0, 32 + 48 },
        { "one line of tape", [](auto& vm) { vm.setAsrPartialText("hello"); }, false, 0, 32 + 48 },
        { "25 lines of tape", [](auto& vm) { vm.setAsrPartialText(QString(25 * 70, u'a')); }, false, 0, 32 + 172 },
        { "the polished text counts",
            [](auto& vm) { vm.setAsrPartialText("short"), vm.setAsrEnhancedText(QString(4 * 70, u'a')); }, false, 0,
            32 + 4 * 16 + 12 },
        { "a waiting commit and its hint", [](auto& vm) { vm.setAwaitingCommitText("hello"); }, false, 24,
            32 + 48 + 24 },
        { "expanded, measured", [](auto& vm) { vm.setMeasuredOpenedContentHeight(500); }, true, 0, 32 + 500 },
        { "expanded, banner",
            [](auto& vm) { vm.setMeasuredOpenedContentHeight(500), vm.setAccessibilityNeedGrant(true); }, true, 0,
            32 + 22 + 500 },
    };
    for (const auto& c : cases) {
        test::FakeClock clock;
        notch::PanelViewModel vm(clock);
        c.set(vm);
        EXPECT_EQ(NotchView::contentHeight(vm, c.expanded, 32, c.badge), c.height) << c.what;
    }
}

TEST(NotchViewTest, WhatHangsUnderTheStrip)
{
    using Kind = notch::VoiceBadge::Kind;
    const struct {
        const char* what;
        std::function<void(notch::PanelViewModel&)> set;
        bool expanded;
        bool tape;
        std::optional<Kind> badge;
        bool banner;
        bool content;
    } cases[] = {
        { "nothing", [](auto&) {}, false, false, std::nullopt, false, false },
        { "the banner", [](auto& vm) { vm.setAccessibilityNeedGrant(true); }, false, false, std::nullopt, true, false },
        { "recording hides the banner", [](auto& vm) { vm.setAccessibilityNeedGrant(true), vm.setPttActive(true); },
            false, true, std::nullopt, false, false },
        { "raw text waiting", [](auto& vm) { vm.setAwaitingCommitText("t"), vm.setAwaitingCommitIsRaw(true); }, false,
            true, Kind::AwaitingCommitRaw, false, false },
        { "a cancel wins over the hint",
            [](auto& vm) { vm.setAwaitingCommitText("t"), vm.setVoiceCancelledFeedback(true); }, false, true,
            Kind::Cancelled, false, false },
        { "expanded while recording",
            [](auto& vm) { vm.setPttActive(true), vm.setAwaitingCommitText("t"), vm.setAccessibilityNeedGrant(true); },
            true, false, std::nullopt, false, true },
        { "expanded with the banner", [](auto& vm) { vm.setAccessibilityNeedGrant(true); }, true, false, std::nullopt,
            true, true },
    };
    for (const auto& c : cases) {
        Root root;
        c.set(root.vm);
        root.state.setExpanded(c.expanded);
        root.view->refresh();
        EXPECT_EQ(root.view->tape() != nullptr, c.tape) << c.what;
        EXPECT_EQ(root.view->badge() ? std::optional(root.view->badge()->kind()) : std::nullopt, c.badge) << c.what;
        EXPECT_EQ(root.view->axBanner() != nullptr, c.banner) << c.what;
        EXPECT_EQ(root.view->contentArea() != nullptr, c.content) << c.what;
    }
}

TEST(NotchViewTest, ThePointerLeavingOrATapOnTheStripClosesOnlyTheOpenPanel)
{
    Root root;
    root.paint();
    EXPECT_FALSE(root.view->pointerLeft());
    EXPECT_FALSE(root.view->pointer(notch::PointerPhase::Down, QPointF(300, 10)));
    EXPECT_FALSE(root.state.isExpanded());

    // A click that comes while the panel still opens under the pointer was meant to open it; once it stands, a tap
    // closes it.
    root.state.setExpanded(true);
    root.view->markDirty();
    root.paint();
    for (const bool standing : { false, true }) {
        if (standing) {
            root.clock.advance(2000);
            root.paint();
        }
        root.view->pointer(notch::PointerPhase::Down, QPointF(200, 10));
        root.view->pointer(notch::PointerPhase::Up, QPointF(200, 10));
        EXPECT_EQ(root.state.isExpanded(), !standing) << (standing ? "standing" : "still opening");
    }

    root.state.setExpanded(true);
    root.view->markDirty();
    root.paint();
    root.clock.advance(2000);
    root.paint();
    root.view->pointer(notch::PointerPhase::Move, QPointF(300, 60));
    EXPECT_TRUE(root.state.isExpanded());
    EXPECT_TRUE(root.view->pointerLeft());
    EXPECT_FALSE(root.state.isExpanded());
}

TEST(NotchViewTest, TheBannerAsksForThePermissionsAndTheOpenBoxSpringsToItsSize)
{
    Root root;
    root.vm.setAccessibilityNeedGrant(true);
    root.state.setExpanded(true);
    root.view->markDirty();
    root.paint();
    // Mid-spring the box is on its way from the closed strip to the expanded size.
    root.clock.advance(100);
    root.paint();
    const QSizeF target = root.view->targetSize();
    EXPECT_GT(root.view->boxFrame().height(), 54);
    EXPECT_LT(root.view->boxFrame().height(), target.height());
    root.clock.advance(2000);
    root.paint();
    EXPECT_EQ(root.view->boxFrame().size(), target);

    const QPointF banner = root.view->axBannerFrame().center();
    EXPECT_FALSE(root.view->toolTipAt(banner).isEmpty());
    EXPECT_TRUE(root.view->toolTipAt(QPointF(300, 10)).isEmpty());
    root.view->pointer(notch::PointerPhase::Down, banner);
    root.view->pointer(notch::PointerPhase::Up, banner);
    EXPECT_EQ(root.permissionsAsked, 1);
    EXPECT_TRUE(root.state.isExpanded());
}
