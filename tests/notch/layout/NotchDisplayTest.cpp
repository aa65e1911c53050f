#include "main/notch/layout/NotchDisplay.h"

#include <gtest/gtest.h>

#include "main/notch/model/PanelViewModel.h"
#include "main/notch/layout/NotchExpansionState.h"
#include "tests/support/FakeClock.h"

namespace murmeli::notch {

namespace {

using notch::IslandSurface;
using notch::PanelViewModel;
using notch::SessionState;

struct Panel {
    bool ptt = false;
    bool start = false;
    IslandSurface surface {};
    bool summary = false;
    SessionState session {};
    QString activity {};
};

NotchDisplay derived(const Panel& panel)
{
    test::FakeClock clock;
    PanelViewModel vm(clock);
    vm.setPttActive(panel.ptt);
    vm.setCurrentSurface(panel.surface);
    vm.setSummaryActive(panel.summary);
    vm.setSessionState(panel.session);
    vm.setCurrentActivity(panel.activity);
    NotchExpansionState state;
    state.setStartActive(panel.start);
    return NotchDisplay::derive(vm, state);
}

TEST(NotchDisplayTest, FirstMatchingRowDecides)
{
    const IslandSurface approval = IslandSurface::approvalCard(QStringLiteral("s1"), QStringLiteral("tu-1"));
    const IslandSurface completion = IslandSurface::completionNotification(QStringLiteral("s1"));
    const IslandSurface failure = IslandSurface::error(std::nullopt, QStringLiteral("hook failed"));
    const IslandSurface question = IslandSurface::questionCard(QStringLiteral("s1"), QStringLiteral("Which?"));
    const NotchDisplay approvalStrip = NotchDisplay::notification(NotchNotifKind::Approval);

    const struct {
        const char* row;
        Panel panel;
        NotchDisplay expected;
    } rows[] = {
        { "1 recording", { .ptt = true }, NotchDisplay::pttRecording() },
        { "1 recording beats an approval card", { .ptt = true, .start = true, .surface = approval },
            NotchDisplay::pttRecording() },
        { "2 welcome strip", { .start = true, .surface = approval }, NotchDisplay::start() },
        { "4 approval card while idle", { .surface = approval, .session = SessionState::idle() }, approvalStrip },
        { "5 completion beats the summary", { .surface = completion, .summary = true },
            NotchDisplay::notification(NotchNotifKind::Completion) },
        { "6 error card", { .surface = failure, .summary = true, .session = SessionState::working() },
            NotchDisplay::notification(NotchNotifKind::Error) },
        { "7 summary", { .summary = true, .session = SessionState::working() },
            NotchDisplay::notification(NotchNotifKind::Summary) },
        { "7 a question card falls through to the summary", { .surface = question, .summary = true },
            NotchDisplay::notification(NotchNotifKind::Summary) },
        { "8 no session", { .session = SessionState::noSession() }, NotchDisplay::brand() },
        { "8 idle", { .session = SessionState::idle(), .activity = QStringLiteral("Reading") }, NotchDisplay::brand() },
        { "8 session push-to-talk", { .session = SessionState::pttActive() }, NotchDisplay::brand() },
        { "9 needs approval", { .session = SessionState::needsApproval() }, approvalStrip },
        { "9 waiting for an answer", { .surface = question, .session = SessionState::waitingForAnswer() },
            approvalStrip },
        { "10 working on something",
            { .session = SessionState::working(), .activity = QStringLiteral("Edit main.cpp") },
            NotchDisplay::activity(QStringLiteral("Edit main.cpp")) },
        { "10 compacting", { .session = SessionState::compacting(), .activity = QStringLiteral("Compacting") },
            NotchDisplay::activity(QStringLiteral("Compacting")) },
        { "11 working without an activity", { .session = SessionState::working() },
            NotchDisplay::activity(QStringLiteral("working")) },
        { "12 session error", { .session = SessionState::error(QStringLiteral("boom")) },
            NotchDisplay::notification(NotchNotifKind::Error) },
    };
    for (const auto& r : rows) {
        const NotchDisplay display = derived(r.panel);
        EXPECT_EQ(display, r.expected) << r.row << ": got " << toString(display).toStdString();
    }
}

} // namespace
} // namespace murmeli::notch
