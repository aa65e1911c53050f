#include "main/notch/model/PanelViewModel.h"

#include <functional>
#include <map>

#include <QMetaMethod>

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

namespace murmeli::notch {

namespace {

using Signal = void (PanelViewModel::*)();

SessionRow row(const QString& sid, SessionState state, qint64 ageSecs, bool active = false)
{
    SessionRow r;
    r.sid = sid;
    r.projectName = QStringLiteral("project-") + sid;
    r.state = std::move(state);
    r.updatedAt = QDateTime::fromSecsSinceEpoch(1'800'000'000 - ageSecs, Qt::UTC);
    r.isActive = active;
    return r;
}

class PanelViewModelTest : public ::testing::Test {
protected:
    test::FakeClock clock;
    PanelViewModel vm { clock };
};

TEST_F(PanelViewModelTest, EveryFieldSignalsOnlyARealChange)
{
    struct Field {
        const char* name;
        std::function<bool(PanelViewModel&)> write; // writes a value that differs from the initial one
        Signal signal;
    };
    const Field fields[] = {
        { "sessionState", [](auto& v) { return v.setSessionState(SessionState::working()); },
            &PanelViewModel::sessionStateChanged },
        { "sessions", [](auto& v) { return v.setSessions({ row("a1b2c3d4", SessionState::idle(), 5) }); },
            &PanelViewModel::sessionsChanged },
        { "sessionTotal", [](auto& v) { return v.setSessionTotal(3); }, &PanelViewModel::sessionTotalChanged },
        { "sessionIndex", [](auto& v) { return v.setSessionIndex(2); }, &PanelViewModel::sessionIndexChanged },
        { "runningAgents", [](auto& v) { return v.setRunningAgents(1); }, &PanelViewModel::runningAgentsChanged },
        { "waitingAgents", [](auto& v) { return v.setWaitingAgents(1); }, &PanelViewModel::waitingAgentsChanged },
        { "currentActivity", [](auto& v) { return v.setCurrentActivity("Reading"); },
            &PanelViewModel::currentActivityChanged },
        { "contextPercent", [](auto& v) { return v.setContextPercent(40); }, &PanelViewModel::contextPercentChanged },
        { "modelName", [](auto& v) { return v.setModelName("Opus"); }, &PanelViewModel::modelNameChanged },
        { "pendingApprovalMessage", [](auto& v) { return v.setPendingApprovalMessage("Bash: ls"); },
            &PanelViewModel::pendingApprovalMessageChanged },
        { "usageSnapshots",
            [](auto& v) {
                usage::CodexBarProviderUsage claude;
                claude.providerID = "claude";
                claude.primaryPercent = 42;
                return v.setUsageSnapshots({ claude });
            },
            &PanelViewModel::usageSnapshotsChanged },
        { "usageSnapshot", [](auto& v) { return v.setUsageSnapshot(usage::CodexBarUsageSnapshot {}); },
            &PanelViewModel::usageSnapshotChanged },
        { "pttActive", [](auto& v) { return v.setPttActive(true); }, &PanelViewModel::pttActiveChanged },
        { "asrPartialText", [](auto& v) { return v.setAsrPartialText("he"); }, &PanelViewModel::asrPartialTextChanged },
        { "asrEnhancing", [](auto& v) { return v.setAsrEnhancing(true); }, &PanelViewModel::asrEnhancingChanged },
        { "asrEnhancedText", [](auto& v) { return v.setAsrEnhancedText("Hello."); },
            &PanelViewModel::asrEnhancedTextChanged },
        { "awaitingCommitText", [](auto& v) { return v.setAwaitingCommitText("hello"); },
            &PanelViewModel::awaitingCommitTextChanged },
        { "awaitingCommitIsRaw", [](auto& v) { return v.setAwaitingCommitIsRaw(true); },
            &PanelViewModel::awaitingCommitIsRawChanged },
        { "voiceCancelledFeedback", [](auto& v) { return v.setVoiceCancelledFeedback(true); },
            &PanelViewModel::voiceCancelledFeedbackChanged },
        { "modeBHintText", [](auto& v) { return v.setModeBHintText("Copied"); },
            &PanelViewModel::modeBHintTextChanged },
        { "accessibilityNeedGrant", [](auto& v) { return v.setAccessibilityNeedGrant(true); },
            &PanelViewModel::accessibilityNeedGrantChanged },
        { "expandedRowIDs", [](auto& v) { return v.setExpandedRowIDs({ "a1b2c3d4" }); },
            &PanelViewModel::expandedRowIDsChanged },
        { "summaryActive", [](auto& v) { return v.setSummaryActive(true); }, &PanelViewModel::summaryActiveChanged },
        { "summaryText", [](auto& v) { return v.setSummaryText("Done"); }, &PanelViewModel::summaryTextChanged },
        { "measuredOpenedContentHeight", [](auto& v) { return v.setMeasuredOpenedContentHeight(212.5); },
            &PanelViewModel::measuredOpenedContentHeightChanged },
        { "currentSurface", [](auto& v) { return v.setCurrentSurface(IslandSurface::approvalCard("a1b2c3d4", "tu")); },
            &PanelViewModel::currentSurfaceChanged },
        { "updatedAt", [](auto& v) { return v.setUpdatedAt(QDateTime::fromSecsSinceEpoch(5, Qt::UTC)); },
            &PanelViewModel::updatedAtChanged },
        { "cloudEmail", [](auto& v) { return v.setCloudEmail("a@b.c"); }, &PanelViewModel::cloudEmailChanged },
        { "cloudTier", [](auto& v) { return v.setCloudTier("free"); }, &PanelViewModel::cloudTierChanged },
        { "cloudMinutesLeft", [](auto& v) { return v.setCloudMinutesLeft(0); },
            &PanelViewModel::cloudMinutesLeftChanged },
        { "cloudQuotaMinutes", [](auto& v) { return v.setCloudQuotaMinutes(600); },
            &PanelViewModel::cloudQuotaMinutesChanged },
        { "cloudMinutesUsed", [](auto& v) { return v.setCloudMinutesUsed(0); },
            &PanelViewModel::cloudMinutesUsedChanged },
        { "cloudMinutesUsedWeek", [](auto& v) { return v.setCloudMinutesUsedWeek(0); },
            &PanelViewModel::cloudMinutesUsedWeekChanged },
        { "cloudMonthResetAt", [](auto& v) { return v.setCloudMonthResetAt(1); },
            &PanelViewModel::cloudMonthResetAtChanged },
        { "cloudWeekResetAt", [](auto& v) { return v.setCloudWeekResetAt(1); },
            &PanelViewModel::cloudWeekResetAtChanged },
    };

    for (const Field& field : fields) {
        SCOPED_TRACE(field.name);
        PanelViewModel fresh(clock);
        std::map<QString, int> fired;
        int anyChange = 0;
        for (const Field& other : fields) {
            QObject::connect(&fresh, other.signal, &fresh, [&fired, name = other.name] { ++fired[name]; });
        }
        QObject::connect(&fresh, &PanelViewModel::changed, &fresh, [&] { ++anyChange; });

        EXPECT_TRUE(field.write(fresh));
        EXPECT_EQ(anyChange, 1);
        EXPECT_EQ(fired, (std::map<QString, int> { { field.name, 1 } })) << "only the field's own signal";
        EXPECT_FALSE(field.write(fresh)) << "an equal write";
        EXPECT_EQ(anyChange, 1);
        EXPECT_EQ(fired[field.name], 1);
    }
    // Every signal but changed() is some field's: a field added to the view model belongs in this table.
    int signalCount = 0;
    for (int i = vm.metaObject()->methodOffset(); i < vm.metaObject()->methodCount(); ++i) {
        signalCount += vm.metaObject()->method(i).methodType() == QMetaMethod::Signal ? 1 : 0;
    }
    EXPECT_EQ(signalCount, static_cast<int>(std::size(fields)) + 1);
}

TEST_F(PanelViewModelTest, CancelledBannerShowsForFourTenthsOfASecond)
{
    vm.setAsrPartialText("hel");
    vm.setAsrEnhancing(true);
    vm.enterCommitWindow("Hello.", false);
    EXPECT_EQ(vm.awaitingCommitText(), "Hello.");
    EXPECT_FALSE(vm.awaitingCommitIsRaw());
    EXPECT_EQ(vm.asrEnhancedText(), "Hello.");

    vm.cancelVoiceTake();
    EXPECT_TRUE(vm.awaitingCommitText().isEmpty() && vm.asrEnhancedText().isEmpty() && vm.asrPartialText().isEmpty());
    EXPECT_FALSE(vm.asrEnhancing());
    EXPECT_TRUE(vm.voiceCancelledFeedback());
    clock.advance(399);
    EXPECT_TRUE(vm.voiceCancelledFeedback());
    clock.advance(1);
    EXPECT_FALSE(vm.voiceCancelledFeedback());

    // A raw text leaves the enhanced text alone, and a new commit window ends the banner at once.
    vm.cancelVoiceTake();
    clock.advance(300);
    vm.cancelVoiceTake(); // the banner gets its full time again
    clock.advance(399);
    EXPECT_TRUE(vm.voiceCancelledFeedback());
    vm.enterCommitWindow("hello", true);
    EXPECT_FALSE(vm.voiceCancelledFeedback());
    EXPECT_TRUE(vm.awaitingCommitIsRaw());
    EXPECT_TRUE(vm.asrEnhancedText().isEmpty());
}

TEST_F(PanelViewModelTest, ClipboardHintClearsTwoAndAHalfSecondsAfterTheLatestOne)
{
    vm.setModeBHintText("Copied to clipboard");
    clock.advance(2000);
    vm.setModeBHintText("Copied again"); // restarts the time
    clock.advance(2499);
    EXPECT_EQ(vm.modeBHintText(), "Copied again");
    clock.advance(1);
    EXPECT_TRUE(vm.modeBHintText().isEmpty());

    vm.setModeBHintText("Copied");
    vm.setModeBHintText(QString());
    EXPECT_EQ(clock.pendingTimers(), 0) << "clearing by hand stops the timer";

    // Timers left running when the view model goes must not reach it.
    {
        PanelViewModel shortLived(clock);
        shortLived.setModeBHintText("x");
        shortLived.cancelVoiceTake();
    }
    EXPECT_EQ(clock.pendingTimers(), 0);
}

TEST_F(PanelViewModelTest, MostUrgentSessionIsTheLongestWaitingApprovalThenTheOldestError)
{
    struct Case {
        const char* name;
        QList<SessionRow> rows;
        std::optional<QString> urgent;
        QString attention;
    };
    const Case cases[] = {
        { "none", { row("idle0001", SessionState::idle(), 10), row("work0001", SessionState::working(), 900) },
            std::nullopt, "" },
        { "oldest approval wins over an older error",
            { row("err00001", SessionState::error("boom"), 900), row("appr0001", SessionState::needsApproval(), 30),
                row("appr0002", SessionState::needsApproval(), 60) },
            "appr0002", "project-appr0002" },
        { "oldest error without approvals",
            { row("err00001", SessionState::error("a"), 10), row("err00002", SessionState::error("b"), 20) },
            "err00002", "project-err00002" },
        { "equal ages keep list order",
            { row("appr0001", SessionState::needsApproval(), 30), row("appr0002", SessionState::needsApproval(), 30) },
            "appr0001", "project-appr0001" },
        { "the active session needs no pointing at",
            { row("appr0001", SessionState::needsApproval(), 30, true), row("idle0001", SessionState::idle(), 10) },
            "appr0001", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vm.setSessions(c.rows);
        EXPECT_EQ(vm.mostUrgentSessionSid(), c.urgent);
        EXPECT_EQ(vm.attentionSessionProjectName(), c.attention);
    }
    EXPECT_EQ(vm.activeSession()->sid, "appr0001");
    vm.setSessions({ row("idle0001", SessionState::idle(), 10) });
    EXPECT_FALSE(vm.activeSession().has_value());
}

TEST_F(PanelViewModelTest, DismissingReturnsToTheSessionListNow)
{
    EXPECT_FALSE(vm.hasCurrentActivity());
    vm.setCurrentActivity("Editing main.cpp");
    EXPECT_TRUE(vm.hasCurrentActivity());

    vm.setCurrentSurface(IslandSurface::completionNotification("a1b2c3d4"));
    clock.advance(1500);
    vm.dismissNotification();
    EXPECT_EQ(vm.currentSurface(), IslandSurface::sessionList(std::nullopt));
    EXPECT_EQ(vm.updatedAt(), clock.now());
}

TEST_F(PanelViewModelTest, UnsetActionsDoNothingAndSetOnesGetTheirArguments)
{
    PanelViewModel::perform(
        vm.onApprove, QStringLiteral("a1b2c3d4"), QStringLiteral("tu-1"), NotchApprovalAction::Deny);
    PanelViewModel::perform(vm.onEscRequest);

    QStringList calls;
    vm.onApprove = [&](const QString& sid, const QString& toolUseId, NotchApprovalAction action) {
        calls << sid + ':' + toolUseId + ':' + toString(action);
    };
    vm.onEscRequest = [&] { calls << "esc"; };
    PanelViewModel::perform(
        vm.onApprove, QStringLiteral("a1b2c3d4"), QStringLiteral("tu-1"), NotchApprovalAction::AllowAlways);
    PanelViewModel::perform(vm.onEscRequest);
    EXPECT_EQ(calls, (QStringList { "a1b2c3d4:tu-1:allowAlways", "esc" }));
}

} // namespace
} // namespace murmeli::notch
