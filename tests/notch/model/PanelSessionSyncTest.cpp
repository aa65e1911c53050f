#include "main/notch/model/PanelSessionSync.h"

#include <map>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

namespace murmeli::notch {

namespace {

using hooks::SessionKey;

SessionKey key(const char* text)
{
    return *SessionKey::fromFileKey(QLatin1String(text));
}

QCoro::Task<> hold(hooks::PendingRequestTable& table, hooks::ApprovalRequest request)
{
    co_await table.enqueue(std::move(request));
}

class PanelSessionSyncTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(directory.openOrCreate()); }

    // A session file written `ageSecs` before the clock's now; JSON "ts" fields carry that time too.
    void file(const QString& name, qint64 ageSecs, QJsonObject content = {})
    {
        if (content.contains("ts")) {
            content.insert("ts", clock.now().addSecs(-ageSecs).toSecsSinceEpoch());
        }
        QFile f(directory.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QJsonDocument(content).toJson(QJsonDocument::Compact));
        f.flush();
        ASSERT_TRUE(f.setFileTime(clock.now().addSecs(-ageSecs), QFileDevice::FileModificationTime));
    }

    static QJsonObject statusIn(const QString& cwd, const QJsonObject& more = {})
    {
        QJsonObject status = more;
        status.insert("workspace", QJsonObject { { "current_dir", cwd } });
        return status;
    }

    static QJsonObject notice(const char* type, const char* message)
    {
        return { { "type", type }, { "ts", 0 }, { "message", message } };
    }

    void syncAndSettle(const hooks::TranscriptData& transcript = {})
    {
        registry.refresh();
        const auto selected = registry.selectedSid();
        sync.sync(hooks::ClaudeStatus::read(
                      selected ? std::optional(selected->text()) : std::nullopt, directory.path(), clock),
            transcript);
        ASSERT_TRUE(test::waitUntil([&] { return !sync.isReading(); }));
    }

    std::map<QString, SessionRow> rowsBySid() const
    {
        std::map<QString, SessionRow> rows;
        for (const SessionRow& row : vm.sessions()) {
            rows.emplace(row.sid, row);
        }
        return rows;
    }

    QTemporaryDir root;
    test::FakeClock clock;
    hooks::StatusDirectory directory { root.path() + QStringLiteral("/murmeli") };
    hooks::SessionRegistry registry { directory, clock, root.path() + QStringLiteral("/legacy.json") };
    hooks::PendingRequestTable table { clock };
    PanelViewModel vm { clock };
    PanelSessionSync sync { vm, clock, registry, directory, table };
};

TEST_F(PanelSessionSyncTest, RowsShowWhatEachSessionsFilesSay)
{
    file("aaaa1111-status.json", 20,
        statusIn("/home/dev/alpha",
            { { "model", QJsonObject { { "display_name", "Opus" } } },
                { "context_window", QJsonObject { { "used_percentage", 42 } } } }));
    file("aaaa1111-activity.json", 1, { { "activity", "Running make" }, { "tool", "Bash" }, { "ts", 0 } });
    file("bbbb2222-status.json", 30, statusIn("build-box:/srv/beta"));
    file("bbbb2222-notify.json", 2, notice("permission", "Claude needs your permission"));
    // Its shell tool went into another session's folder; it is still the session started for gamma.
    file("cccc3333-status.json", 40,
        { { "workspace",
            QJsonObject { { "current_dir", "/home/dev/delta" }, { "project_dir", "/home/dev/gamma" } } } });
    file("cccc3333-notify.json", 3, notice("error", "hook failed"));
    file("dddd4444-status.json", 300, statusIn("/home/dev/delta"));
    file("eeee5555-status.json", 50, statusIn("/home/dev/epsilon"));
    file("eeee5555-notify.json", 4, notice("compact", ""));
    registry.refresh();
    registry.addSession(key("ffff6666"), QStringLiteral("/home/dev/zeta"), QStringLiteral("codex"));
    registry.setHookFolder(key("ffff6666"), QStringLiteral("/home/dev/alpha"));
    registry.select(key("aaaa1111"));
    registry.setHookSessionTitle(key("bbbb2222"), QStringLiteral("Fix login"));
    registry.setHookLastAssistant(key("bbbb2222"), QStringLiteral("Done."));

    hooks::TranscriptData transcript;
    transcript.agents = { { "ag-1", "Explore", "running" }, { "ag-2", "", "completed" } };
    transcript.todos = { { "Write tests", "in_progress" }, { "Ship", "pending" }, { "Plan", "completed" } };
    transcript.sessionName = QStringLiteral("Refactor");
    syncAndSettle(transcript);

    ASSERT_EQ(vm.sessions().size(), 6);
    for (qsizetype i = 0; i < vm.sessions().size(); ++i) {
        EXPECT_EQ(vm.sessions()[i].sid, registry.sessions()[std::size_t(i)].sid8.text()) << "the registry's order";
    }
    auto rows = rowsBySid();
    // What the files say of each: state, project, remote, context use, age, agent.
    const struct {
        const char* sid;
        SessionState state;
        const char* project;
        bool remote;
        int ctx;
        const char* age;
        const char* agent;
    } expected[] = {
        { "aaaa1111", SessionState::working(), "alpha", false, 42, "now", "" },
        // Its permission notice may already be answered in the terminal: without a held request it offers nothing.
        { "bbbb2222", SessionState::idle(), "beta", true, 0, "now", "" },
        { "cccc3333", SessionState::error("hook failed"), "gamma", false, 0, "now", "" },
        { "dddd4444", SessionState::idle(), "delta", false, 0, "5m", "" },
        { "eeee5555", SessionState::compacting(), "epsilon", false, 0, "now", "" },
        // Known from its hooks alone: they tell the folder it was started in.
        { "ffff6666", SessionState::idle(), "zeta", false, -1, "now", "codex" },
    };
    for (const auto& e : expected) {
        const SessionRow& row = rows[e.sid];
        SCOPED_TRACE(e.sid);
        EXPECT_EQ(row.state, e.state);
        EXPECT_EQ(row.projectName, e.project);
        EXPECT_EQ(row.isRemote, e.remote);
        EXPECT_EQ(row.sessionCtxPercent, e.ctx);
        EXPECT_EQ(row.ageBadge, e.age);
        EXPECT_EQ(row.sessionAgentName, e.agent);
        EXPECT_EQ(row.isActive, row.sid == "aaaa1111");
    }

    const SessionRow& alpha = rows["aaaa1111"];
    EXPECT_EQ(alpha.activity, "Running make");
    EXPECT_EQ(alpha.currentToolName, "Bash");
    EXPECT_EQ(alpha.sessionModelName, "Opus");
    EXPECT_EQ(alpha.updatedAt, clock.now().addSecs(-1));
    EXPECT_EQ(alpha.spotlightHeadlineText, "Refactor");
    ASSERT_EQ(alpha.subagents.size(), 2);
    EXPECT_EQ(alpha.subagents[1].agentType, std::nullopt);
    ASSERT_EQ(alpha.activeTasks.size(), 3);
    EXPECT_EQ(alpha.activeTasks[0], (ActiveTaskInfo { "0", "Write tests", ActiveTaskInfo::Status::InProgress }));
    EXPECT_EQ(alpha.activeTasks[2].status, ActiveTaskInfo::Status::Completed);
    const SessionRow& beta = rows["bbbb2222"];
    EXPECT_EQ(beta.spotlightHeadlineText, "Fix login");
    EXPECT_EQ(beta.spotlightAnswerLineText, QStringLiteral("Done."));
    EXPECT_TRUE(beta.subagents.isEmpty() && beta.activeTasks.isEmpty()) << "only the selected session's transcript";

    EXPECT_EQ(vm.sessionTotal(), 6);
    EXPECT_EQ(vm.sessionIndex(), registry.selectedIndex());
    EXPECT_EQ(vm.sessionState(), SessionState::working());
    EXPECT_EQ(vm.currentActivity(), "Running make");
    EXPECT_EQ(vm.contextPercent(), 42);
    EXPECT_EQ(vm.modelName(), "Opus");
    EXPECT_EQ(vm.runningAgents(), 2);
    EXPECT_EQ(vm.waitingAgents(), 0);
    EXPECT_EQ(vm.attentionSessionProjectName(), "gamma");
}

TEST_F(PanelSessionSyncTest, RequestOnShowMarksItsSessionAndNothingChangesWithoutNews)
{
    file("aaaa1111-status.json", 20, statusIn("/home/dev/alpha"));
    file("dddd4444-status.json", 30, statusIn("/home/dev/delta"));
    syncAndSettle();
    EXPECT_EQ(vm.sessionState(), SessionState::idle());
    EXPECT_TRUE(vm.pendingApprovalMessage().isEmpty());

    hooks::ApprovalRequest request;
    request.toolUseId = QStringLiteral("tu-1");
    request.toolName = QStringLiteral("Bash");
    request.commandPreview = QStringLiteral("rm -rf build");
    request.sessionId = QStringLiteral("dddd4444");
    hold(table, request);
    syncAndSettle();
    const SessionRow delta = rowsBySid()["dddd4444"];
    EXPECT_EQ(delta.state, SessionState::needsApproval());
    EXPECT_EQ(delta.currentToolName, "Bash");
    EXPECT_EQ(delta.currentCommandPreview, "rm -rf build");
    EXPECT_EQ(rowsBySid()["aaaa1111"].state, SessionState::idle());
    EXPECT_EQ(vm.pendingApprovalMessage(), "Bash: rm -rf build");
    EXPECT_EQ(vm.waitingAgents(), 1);

    // Syncing again with nothing new writes equal values, so nobody is woken.
    int changes = 0;
    QObject::connect(&vm, &PanelViewModel::changed, &vm, [&] { ++changes; });
    const QDateTime updatedAt = vm.updatedAt();
    syncAndSettle();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(vm.updatedAt(), updatedAt);

    // The answer reaches the rows at once, without a sync; the next sync has nothing new.
    clock.advance(1000);
    table.resolve(QStringLiteral("tu-1"), hooks::ApprovalDecision::deny());
    EXPECT_EQ(rowsBySid()["dddd4444"].state, SessionState::idle());
    EXPECT_TRUE(vm.pendingApprovalMessage().isEmpty());
    EXPECT_EQ(vm.updatedAt(), clock.now());
    clock.advance(1000);
    syncAndSettle();
    EXPECT_EQ(vm.updatedAt(), clock.now().addSecs(-1));

    // Every session gone: no session, no total.
    QDir(directory.path()).removeRecursively();
    syncAndSettle();
    EXPECT_EQ(vm.sessionState(), SessionState::noSession());
    EXPECT_EQ(vm.sessionTotal(), 0);
    EXPECT_TRUE(vm.sessions().isEmpty());
}

} // namespace
} // namespace murmeli::notch
