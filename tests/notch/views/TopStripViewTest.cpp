#include "main/notch/views/TopStripView.h"

#include <gtest/gtest.h>

#include "main/notch/kit/EmptyView.h"
#include "main/notch/layout/NotchExpansionState.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/notch/views/BrandDot.h"
#include "main/notch/views/CtrlGroupView.h"
#include "main/notch/views/Marquee.h"
#include "main/notch/views/SessionCountBadge.h"
#include "main/notch/views/SignalDot.h"
#include "main/notch/views/WarnGlyph.h"
#include "main/notch/views/WorkingLabel.h"
#include "main/ui/design/Tokens.h"
#include "tests/notch/Probes.h"
#include "tests/notch/StripScene.h"

using namespace murmeli;
using namespace murmeli::notch;
using Arrangement = TopStripView::Arrangement;

namespace {

TopStripInputs showing(NotchDisplay display, int sessions = 0)
{
    TopStripInputs inputs;
    inputs.display = std::move(display);
    inputs.sessionCount = sessions;
    return inputs;
}

template <typename T> bool is(View* view)
{
    return dynamic_cast<T*>(view) != nullptr;
}

} // namespace

TEST(TopStripViewTest, FullMarqueeWidthsAndTexts)
{
    EXPECT_DOUBLE_EQ(TopStripView::fullMarqueeWidth(60), 80);
    EXPECT_DOUBLE_EQ(TopStripView::fullMarqueeWidth(84), 80);
    EXPECT_DOUBLE_EQ(TopStripView::fullMarqueeWidth(300), 296);

    const QString dot = QStringLiteral(" \u00B7 ");
    TopStripInputs approval = showing(NotchDisplay::notification(NotchNotifKind::Approval));
    EXPECT_EQ(TopStripView::fullMarqueeText(approval), "approval pending");
    approval.attentionPrefix = "api";
    EXPECT_EQ(TopStripView::fullMarqueeText(approval), "api" + dot + "approval pending");
    approval.approvalText = "Bash: rm -rf build";
    EXPECT_EQ(TopStripView::fullMarqueeText(approval), "api" + dot + "Bash: rm -rf build");
    approval.attentionPrefix.clear();
    approval.approvalText = " ";
    EXPECT_EQ(TopStripView::fullMarqueeText(approval), " ") << "blanks are not empty";
    TopStripInputs summary = showing(NotchDisplay::notification(NotchNotifKind::Summary));
    EXPECT_EQ(TopStripView::fullMarqueeText(summary), "Halo, murmeli :-)");
    summary.summaryText = "Tests pass";
    EXPECT_EQ(TopStripView::fullMarqueeText(summary), "Tests pass");
    EXPECT_EQ(TopStripView::fullMarqueeText(showing(NotchDisplay::brand())), QString());
}

TEST(TopStripViewTest, TheEarsHugTheNotchedStripsEndsAndANewActivityNameKeepsThem)
{
    test::StripScene scene({ 380, 32, 200 });
    scene.show(showing(NotchDisplay::activity("Read a.c"), 0));
    scene.render();
    View* dot = scene.strip().leftEar();
    View* working = scene.strip().rightContent();
    EXPECT_TRUE(is<SignalDot>(dot));
    EXPECT_TRUE(is<WorkingLabel>(working));
    EXPECT_DOUBLE_EQ(scene.strip().leftEarFrame().left(), 14);
    EXPECT_DOUBLE_EQ(scene.strip().rightContentFrame().right(), 380 - 14);

    // Only a new case brings fresh ears: the running dot and the dots' timer stay.
    scene.show(showing(NotchDisplay::activity("Edit b.c"), 0));
    EXPECT_EQ(scene.strip().leftEar(), dot);
    EXPECT_EQ(scene.strip().rightContent(), working);
    scene.show(showing(NotchDisplay::brand(), 0));
    EXPECT_TRUE(is<BrandDot>(scene.strip().leftEar()));
    EXPECT_TRUE(is<EmptyView>(scene.strip().rightContent())) << "no badge for no sessions";
}

TEST(TopStripViewTest, WithoutANotchTheEarsSitSideBySideInTheMiddle)
{
    test::StripScene scene({ 200, 32, 0 });
    scene.show(showing(NotchDisplay::activity("Read a.c"), 0));
    scene.render();
    EXPECT_EQ(scene.strip().arrangement(), Arrangement::Compact);
    const QRectF left = scene.strip().leftEarFrame();
    const QRectF right = scene.strip().rightContentFrame();
    EXPECT_DOUBLE_EQ(right.left() - left.right(), 8);
    EXPECT_NEAR(left.left() - 0, 200 - right.right(), 1e-9);

    scene.show(showing(NotchDisplay::brand(), 0));
    scene.render();
    EXPECT_NEAR(scene.strip().leftEarFrame().center().x(), 100, 1e-9) << "a lone dot sits in the middle";
}

TEST(TopStripViewTest, AnApprovalRunsThreePassesAcrossTheStripThenShowsItsEars)
{
    test::StripScene scene({ 380, 32, 200 });
    TopStripInputs approval = showing(NotchDisplay::notification(NotchNotifKind::Approval), 2);
    approval.approvalText = "Bash: npm test";
    scene.show(approval);
    scene.render();
    ASSERT_EQ(scene.strip().arrangement(), Arrangement::FullWidthMarquee);
    Marquee* band = scene.strip().marquee();
    ASSERT_NE(band, nullptr);
    EXPECT_DOUBLE_EQ(band->idealSize().width(), 376);
    EXPECT_EQ(scene.strip().leftEar(), nullptr);

    // A new text of the same request kind keeps the running marquee.
    approval.approvalText = "Bash: npm test --all";
    scene.show(approval);
    EXPECT_EQ(scene.strip().marquee(), band);

    scene.advance(static_cast<qint64>(3 * band->passSeconds() * 1000));
    EXPECT_TRUE(scene.strip().marqueeFinished());
    EXPECT_EQ(scene.strip().arrangement(), Arrangement::Notched);
    EXPECT_EQ(scene.strip().marquee(), nullptr);
    EXPECT_TRUE(is<WarnGlyph>(scene.strip().leftEar()));
    EXPECT_TRUE(is<SessionCountBadge>(scene.strip().rightContent()));

    // A second request straight after keeps the key and gets no marquee; after another display it does.
    approval.approvalText = "Edit: main.c";
    scene.show(approval);
    EXPECT_EQ(scene.strip().arrangement(), Arrangement::Notched);
    scene.show(showing(NotchDisplay::brand(), 2));
    scene.show(approval);
    scene.render();
    EXPECT_EQ(scene.strip().arrangement(), Arrangement::FullWidthMarquee);

    // Expanding hides the marquee at once and marks it finished; collapsing shows the ears.
    approval.isExpanded = true;
    scene.show(approval);
    EXPECT_TRUE(scene.strip().marqueeFinished());
    EXPECT_EQ(scene.strip().marquee(), nullptr);
    scene.render();
    EXPECT_TRUE(is<CtrlGroupView>(scene.strip().rightContent()));
    EXPECT_EQ(scene.strip().leftEarFrame().size(), QSizeF(20, 20));
    approval.isExpanded = false;
    scene.show(approval);
    EXPECT_EQ(scene.strip().arrangement(), Arrangement::Notched);
    EXPECT_EQ(scene.clock().pendingTimers(), 0);
}

TEST(TopStripViewTest, ARequestThatArrivesWhileExpandedRunsWhenThePanelCollapses)
{
    test::StripScene scene({ 380, 32, 200 });
    TopStripInputs inputs = showing(NotchDisplay::brand(), 1);
    inputs.isExpanded = true;
    scene.show(inputs);
    inputs.display = NotchDisplay::notification(NotchNotifKind::Approval);
    scene.show(inputs);
    EXPECT_NE(scene.strip().arrangement(), Arrangement::FullWidthMarquee);
    inputs.isExpanded = false;
    scene.show(inputs);
    scene.render();
    EXPECT_EQ(scene.strip().arrangement(), Arrangement::FullWidthMarquee);
    EXPECT_NE(scene.strip().marquee(), nullptr);
}

// A request waits and nobody answers it: whether its marquee ran out or the person opened the panel and closed it
// again, the closed strip goes on showing the amber warning and the count until the request is gone, with a notch
// or without.
TEST(TopStripViewTest, ARequestThatStillWaitsKeepsItsWarningAndCountInTheClosedStrip)
{
    const struct {
        const char* name;
        StripScene::Options strip;
        bool openedAndClosed;
        int sessions;
    } rows[] = {
        { "marquee ran out, notch", { 380, 32, 200 }, false, 2 },
        { "marquee ran out, no notch", { 200, 32, 0 }, false, 1 },
        { "opened and closed, no notch", { 200, 32, 0 }, true, 1 },
        { "opened and closed, notch, reduced motion", { 380, 32, 200, true }, true, 3 },
        { "opened and closed, no session row", { 200, 32, 0 }, true, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::FakeClock vmClock;
        notch::PanelViewModel vm(vmClock);
        NotchExpansionState state;
        vm.setSessionTotal(row.sessions);
        vm.setSessionState(notch::SessionState::needsApproval());
        vm.setPendingApprovalMessage(QStringLiteral("Bash: ls"));
        vm.setCurrentSurface(notch::IslandSurface::approvalCard(QStringLiteral("s-1"), QStringLiteral("t-1")));
        test::StripScene scene(row.strip);
        scene.show(vm, state);
        scene.render();
        ASSERT_EQ(scene.strip().arrangement(), Arrangement::FullWidthMarquee);
        if (row.openedAndClosed) {
            state.setExpanded(true);
            scene.show(vm, state);
            scene.render();
            state.setExpanded(false);
            scene.show(vm, state);
        }
        // Long past the marquee's passes, and the strip no longer moves by itself.
        scene.advance(60'000);
        const QImage image = scene.render(2);
        EXPECT_NE(scene.strip().arrangement(), Arrangement::FullWidthMarquee);
        EXPECT_GT(pixelsOf(image, scene.strip().leftEarFrame(), ui::Color::vantorSignalAmber), 10)
            << "no warning in the left ear";
        EXPECT_EQ(pixelsOf(image, scene.strip().rightContentFrame(), ui::Color::vantorBrass) > 4, row.sessions >= 1)
            << "the count";

        // Answered: the resting strip again.
        vm.setCurrentSurface(notch::IslandSurface::sessionList());
        vm.setSessionState(notch::SessionState::idle());
        scene.show(vm, state);
        EXPECT_TRUE(is<BrandDot>(scene.strip().leftEar()));
    }
}

class SummaryStripTest : public ::testing::TestWithParam<bool> { };

TEST_P(SummaryStripTest, TheSummaryEndsItselfAfterThreePassesAndTheStripFallsBackToTheBrand)
{
    // With reduced motion too: the text stands still for as long as its passes would have run, then it ends.
    test::FakeClock vmClock;
    notch::PanelViewModel vm(vmClock);
    NotchExpansionState state;
    vm.setSessionState(notch::SessionState::idle());
    vm.setSessionTotal(1);
    vm.setSummaryText(QStringLiteral("All 12 tests pass"));
    vm.setSummaryActive(true);
    test::StripScene scene({ 380, 32, 200, GetParam() });
    scene.show(vm, state);
    scene.render();
    ASSERT_EQ(scene.strip().arrangement(), Arrangement::FullWidthMarquee);
    Marquee* band = scene.strip().marquee();
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->isScrolling(), !GetParam());

    const auto total = static_cast<qint64>(3 * band->passSeconds() * 1000);
    EXPECT_DOUBLE_EQ(band->passSeconds(), 376 / 50.0) << "a short summary crosses the whole 376-wide band";
    scene.advance(total - 1);
    EXPECT_TRUE(vm.summaryActive());
    scene.advance(1);
    EXPECT_FALSE(vm.summaryActive());
    EXPECT_EQ(scene.strip().inputs().display, NotchDisplay::brand());
    EXPECT_FALSE(scene.strip().marqueeFinished()) << "the new display cleared the flag for the next marquee";
    EXPECT_TRUE(is<BrandDot>(scene.strip().leftEar()));
    EXPECT_TRUE(is<SessionCountBadge>(scene.strip().rightContent()));
}

INSTANTIATE_TEST_SUITE_P(Motion, SummaryStripTest, ::testing::Values(false, true),
    [](const auto& info) { return info.param ? std::string("Reduced") : std::string("Full"); });

TEST(TopStripViewTest, ASummaryCutShortByExpandingIsNotReportedFinished)
{
    test::FakeClock vmClock;
    notch::PanelViewModel vm(vmClock);
    NotchExpansionState state;
    vm.setSummaryActive(true);
    test::StripScene scene({ 380, 32, 200 });
    scene.show(vm, state);
    scene.render();
    scene.advance(2000);
    state.setExpanded(true);
    scene.show(vm, state);
    state.setExpanded(false);
    scene.show(vm, state);
    scene.advance(60'000);
    EXPECT_TRUE(vm.summaryActive());
    EXPECT_TRUE(is<BrandDot>(scene.strip().leftEar()));
}
