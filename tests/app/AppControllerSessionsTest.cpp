#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QThreadPool>

#include "main/app/AppController.h"
#include "main/common/OffThread.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

constexpr qint64 minute = 60 * 1000;

// murmeli as the agents meet it: its hook endpoint on a real socket, on a clock the test moves. restart() starts it
// again over the same status folder beside agents running in the given folders, by their command lines.
class AppControllerSessionsTest : public ::testing::Test {
protected:
    void SetUp() override { restart({}); }

    void restart(const std::map<QString, QString>& agentsIn)
    {
        controller.reset();
        auto dependencies = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
        QString rows;
        for (const auto& [folder, command] : agentsIn) {
            rows += QStringLiteral("%1 1 pts/1 %2\n").arg(100 + folders.indexOf(folder)).arg(command);
        }
        const auto table = hooks::ProcessTable::parse(rows, QDateTime::currentDateTimeUtc().addSecs(5));
        dependencies.processTable = [table]() -> QCoro::Task<std::optional<hooks::ProcessTable>> { co_return table; };
        dependencies.processDirectory
            = [this](const QString& pid) { return std::optional(path(folders[pid.toInt() - 100])); };
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->onLog = [this](const QString& line, common::LogColor) {
            handled += line.startsWith("Hook: ");
            lines << line;
        };
        controller->startBackend(QString());
    }

    QString path(const QString& folder) const { return root.path() + u'/' + folder; }

    // An event of the agent working in that folder.
    void post(const QString& event, const QString& id, const QString& folder, QJsonObject body = {},
        const QByteArray& adapter = "claude-code", const QByteArray& headers = {})
    {
        body.insert("session_id", id);
        body.insert("cwd", path(folder));
        folders << folder;
        const int before = handled;
        test::postHook(test::ControllerProbe::hookServer(*controller).port(), "/hook/" + event,
            QJsonDocument(body).toJson(), "x-murmeli-adapter: " + adapter + "\r\n" + headers);
        EXPECT_TRUE(waitUntil([&] { return handled > before; })) << event.toStdString();
    }

    std::unique_ptr<test::HttpClient> ask(const QString& id)
    {
        const QByteArray body = QJsonDocument(QJsonObject { { "session_id", id }, { "tool_name", "Bash" },
                                                  { "tool_input", QJsonObject { { "command", "rm -rf build" } } } })
                                    .toJson();
        auto client = std::make_unique<test::HttpClient>(test::ControllerProbe::hookServer(*controller).port());
        client->write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body);
        EXPECT_TRUE(waitUntil([&] { return table().hasActive(); }));
        return client;
    }

    hooks::PendingRequestTable& table() { return test::ControllerProbe::pendingTable(*controller); }

    // The panel's rows by project, as the next poll shows them once the burst's files are written.
    std::map<QString, notch::SessionRow> rows()
    {
        QCoreApplication::sendPostedEvents();
        controller->sessions().syncSessions();
        EXPECT_TRUE(waitUntil([&] { return !test::ControllerProbe::panelSync(*controller).isReading(); }));
        std::map<QString, notch::SessionRow> byProject;
        for (const notch::SessionRow& row : controller->vm().sessions()) {
            byProject[row.projectName] = row;
        }
        return byProject;
    }

    void unusableForOnePoll()
    {
        const QString status = path(QStringLiteral("murmeli"));
        const auto own = QFile::permissions(status);
        ASSERT_TRUE(QFile::setPermissions(status, own | QFileDevice::WriteGroup));
        EXPECT_TRUE(rows().empty());
        ASSERT_TRUE(QFile::setPermissions(status, own));
    }

    QTemporaryDir root;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::unique_ptr<app::AppController> controller;
    QStringList folders;
    QStringList lines;
    int handled = 0;
};

} // namespace

// Most agents write no status file: their hook events are all that says they work, and murmeli's record of them all
// that lists them again after a restart.
TEST_F(AppControllerSessionsTest, ASessionThatWorksStaysListedWithItsNameAndMark)
{
    struct Agent {
        QByteArray adapter;
        QString id;
        QString folder;
        const char* ageAfterTwoHours; // beta was idle for the last half hour of them
        const char* ageAfterRestart; // nullptr: its agent is gone by then
    };
    const std::vector<Agent> agents {
        // Codex's ids begin with a clock; these two started in the same second.
        { "codex", "019a2b3c-4d5e-7f00-8a00-0000000000a1", "alpha", "now", "1m" },
        { "codex", "019a2b3c-4d5e-7f00-8a00-0000000000b2", "beta", "31m", "32m" },
        { "gemini", "6c0f7d8e-1a2b-4c3d-9e8f-00000000c3c3", "gamma", "now", nullptr },
        { "opencode", "ses_0a1b2c3d4e5fAbCdEfGhIjKlMn", "delta", "now", "1m" },
    };
    for (const Agent& a : agents) {
        post("SessionStart", a.id, a.folder, {}, a.adapter);
        post("Stop", a.id, a.folder, { { "last_assistant_message", "Done with " + a.folder } }, a.adapter);
    }
    // Two hours and a minute, an event every ten minutes.
    for (const int minutes : { 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 121 }) {
        clock->advance((minutes == 121 ? 1 : 10) * minute);
        for (const Agent& a : agents) {
            if (a.ageAfterTwoHours == QLatin1String("now") || minutes == 90) {
                post("PostToolUse", a.id, a.folder, {}, a.adapter);
            }
        }
    }
    const auto expectListed = [&](const char* when, bool afterRestart) {
        auto listed = rows();
        for (const Agent& a : agents) {
            SCOPED_TRACE(std::string(when) + ": " + a.folder.toStdString());
            const char* age = afterRestart ? a.ageAfterRestart : a.ageAfterTwoHours;
            ASSERT_EQ(listed.contains(a.folder), age != nullptr);
            if (age) {
                EXPECT_EQ(listed[a.folder].sessionAgentName, a.adapter);
                EXPECT_EQ(listed[a.folder].ageBadge, age);
                EXPECT_EQ(listed[a.folder].spotlightAnswerLineText.has_value(), !afterRestart);
            }
        }
    };
    expectListed("after two hours", false);
    ASSERT_EQ(controller->vm().sessions().size(), 4);
    EXPECT_EQ(controller->vm().sessions().last().projectName, "beta") << "the busy ones come first";
    unusableForOnePoll();
    expectListed("after a poll of an unusable status folder", false);
    clock->advance(minute);
    restart({ { "alpha", "codex" }, { "beta", "codex" }, { "delta", "opencode" } });
    // The start-up cleanup judges off the main thread.
    EXPECT_TRUE(waitUntil([&] { return !rows().contains("gamma"); }));
    expectListed("after a restart", true);
}

// However crowded the list, what a new session asks is never held where no card shows it, and its own Stop leaves
// nothing of it waiting: with the list full of busy sessions, and after a flood of sessions that started and ended
// has filled the table of ids with ones whose late events may still come.
TEST_F(AppControllerSessionsTest, ANewSessionsRequestNeverWaitsWithoutACardHoweverCrowdedTheList)
{
    const struct {
        const char* what;
        int sessions;
        bool theyEnd;
    } cases[]
        = { { "the list full of busy sessions", 256, false }, { "1,100 sessions started and ended", 1100, true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        restart({});
        for (int i = 0; i < c.sessions; ++i) {
            const QJsonObject body { { "session_id",
                QStringLiteral("%1-2222-4000-8000-000000000000").arg(i, 8, 16, QChar('0')) } };
            controller->sessions().handleHookEvent("SessionStart", body);
            if (c.theyEnd) {
                controller->sessions().handleHookEvent("SessionEnd", body);
            }
        }
        const QString newcomer = "c0ffee00-3333-4000-8000-000000000000";
        post("SessionStart", newcomer, "newcomer");
        const QByteArray body = QJsonDocument(
            QJsonObject { { "session_id", newcomer }, { "tool_name", "Bash" }, { "tool_use_id", "newcomer-asks" },
                { "tool_input", QJsonObject { { "command", "make" } } } })
                                    .toJson();
        test::HttpClient held(test::ControllerProbe::hookServer(*controller).port());
        held.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body);
        ASSERT_TRUE(waitUntil([&] { return table().isHeld("newcomer-asks") || held.closedByServer(); }));
        const QList<notch::SessionRow> shown = controller->vm().sessions();
        const bool card = std::any_of(shown.cbegin(), shown.cend(),
            [](const notch::SessionRow& row) { return row.sid == QLatin1String("c0ffee00") && row.approval; });
        EXPECT_EQ(table().isHeld("newcomer-asks"), card) << "held, and its card shown";
        post("Stop", newcomer, "newcomer");
        EXPECT_FALSE(table().isHeld("newcomer-asks")) << "its own Stop settled nothing";
        EXPECT_EQ(held.readUntilClosed().toStdString(), test::expectedReply(200, "OK", "{}").toStdString());
    }
}

// Two sessions whose ids begin alike, the first holding a request when the second next speaks: whatever came between,
// each keeps its key, and the second's prompt settles nothing of the first's.
TEST_F(AppControllerSessionsTest, ASessionsKeyIsItsOwnForItsWholeLife)
{
    using Held = std::unique_ptr<test::HttpClient>;
    const auto statusLine = [](const char* model, const QString& at) {
        return QJsonObject { { "model", QJsonObject { { "display_name", model } } },
            { "workspace", QJsonObject { { "current_dir", at }, { "project_dir", at } } } };
    };
    struct Case {
        const char* what;
        bool secondAsLongAsAKey;
        // From both sessions' start to the second's prompt; asks the first's request.
        std::function<Held(const QString& first, const QString& second, const QString& n)> meanwhile;
    };
    const std::vector<Case> cases {
        { "two hours of work", false,
            [&](const QString& first, const QString& second, const QString& n) {
                for (const qint64 step : { 30 * minute, 30 * minute, 30 * minute, 30 * minute - 10'000 }) {
                    clock->advance(step);
                    post("PostToolUse", second, "second" + n);
                    post("PostToolUse", first, "first" + n);
                }
                Held held = ask(first);
                clock->advance(20'000);
                rows();
                return held;
            } },
        { "a poll of an unusable status folder", false,
            [&](const QString& first, const QString&, const QString&) {
                Held held = ask(first);
                unusableForOnePoll();
                rows();
                return held;
            } },
        { "an id no longer than a key", true,
            [&](const QString& first, const QString&, const QString&) { return ask(first); } },
        { "a restart beside both agents", false,
            [&](const QString& first, const QString& second, const QString& n) {
                post("status", first, "first" + n, statusLine("Opus", path("first" + n)));
                post("status", second, "second" + n, statusLine("Sonnet", path("second" + n)));
                rows();
                restart({ { "first" + n, "claude" }, { "second" + n, "claude" } });
                post("PostToolUse", second, "second" + n);
                return ask(first);
            } },
        { "the second's status line, also where an older one writes it", false,
            [&](const QString& first, const QString& second, const QString& n) {
                post("status", first, "first" + n, statusLine("Opus", path("first" + n)));
                QJsonObject status = statusLine("Sonnet", path("second" + n));
                status.insert("session_id", second);
                QFile older(path("murmeli/" + first.left(8) + "-status.json"));
                EXPECT_TRUE(older.open(QIODevice::WriteOnly) && older.write(QJsonDocument(status).toJson()) > 0);
                older.close();
                post("status", second, "second" + n, status);
                auto listed = rows();
                EXPECT_EQ(listed["second" + n].sessionModelName, "Sonnet");
                EXPECT_NE(listed["first" + n].sessionModelName, "Sonnet");
                return ask(first);
            } },
        { "the second's end, and a new session whose id begins with its key", false,
            [&](const QString& first, const QString& second, const QString& n) {
                post("SessionEnd", second, "second" + n);
                post("status", second.right(8) + "-cccc-4ccc-8ccc-cccccccccccc", "third" + n,
                    statusLine("Haiku", path("third" + n)));
                EXPECT_EQ(rows()["third" + n].sessionModelName, "Haiku");
                return ask(first);
            } },
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const QString n = QString::number(i);
        const QString first = "5eed000" + n + "-aaaa-4aaa-8aaa-00000000" + n + "00a";
        const QString second = c.secondAsLongAsAKey ? first.left(8) : first.chopped(1) + 'b';
        post("SessionStart", first, "first" + n);
        post("SessionStart", second, "second" + n);
        auto before = rows();
        EXPECT_TRUE(before.contains("first" + n) && before.contains("second" + n));
        EXPECT_NE(before["first" + n].sid, before["second" + n].sid);

        const Held held = c.meanwhile(first, second, n);
        post("UserPromptSubmit", second, "second" + n);
        auto after = rows();
        EXPECT_EQ(after["first" + n].sid, before["first" + n].sid);
        EXPECT_EQ(after["second" + n].sid, before["second" + n].sid);
        EXPECT_TRUE(table().hasActive()) << "the second's prompt settled the first's request";
        if (table().hasActive()) {
            EXPECT_EQ(table().activeRequest()->sessionId, before["first" + n].sid);
            table().resolve(table().activeRequest()->toolUseId, hooks::ApprovalDecision::deny());
        }
        EXPECT_EQ(held->readUntilClosed(),
            test::expectedReply(200, "OK",
                R"({"hookSpecificOutput":{"decision":{"behavior":"deny"},"hookEventName":"PermissionRequest"}})"));
    }
}

// Two agents in one folder, each session's events naming its own process as murmeli's hook scripts do. After a
// restart each session still knows its process, so "→ Open" brings its own terminal and a killed agent's row goes,
// though neither agent has spoken since.
TEST_F(AppControllerSessionsTest, ARestartKeepsWhichProcessEachSessionIsFrom)
{
    enum class Killed { Never, WhileMurmeliWasAway, AfterTheRestart };
    const struct {
        const char* what;
        Killed killed;
    } cases[] = {
        { "both agents still run", Killed::Never },
        { "the second agent killed while murmeli was away", Killed::WhileMurmeliWasAway },
        { "the second agent killed after the restart", Killed::AfterTheRestart },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<QProcess>> agents;
        std::vector<hooks::AgentProcessId> processes;
        const QString n = QString::number(&c - cases);
        const QStringList ids { "70a1b2c" + n + "-1111-4111-8111-111111111111",
            "70d4e5f" + n + "-2222-4222-8222-222222222222" };
        for (const QString& id : ids) {
            agents.push_back(std::make_unique<QProcess>());
            agents.back()->start("sh", { "-c", "echo $$; exec sleep 600" });
            ASSERT_TRUE(waitUntil([&] { return agents.back()->canReadLine(); }));
            const auto process = hooks::AgentProcessId::ofPid(agents.back()->readLine().trimmed().toLongLong());
            ASSERT_TRUE(process);
            processes.push_back(*process);
            post("SessionStart", id, "shared", {}, "claude-code",
                "x-murmeli-agent-process: " + process->pidText().toUtf8() + ' '
                    + QByteArray::number(process->startTicks) + "\r\n");
        }
        rows();
        const auto kill = [&] {
            ::kill(static_cast<pid_t>(processes[1].pid), SIGKILL);
            agents[1]->waitForFinished();
        };
        if (c.killed == Killed::WhileMurmeliWasAway) {
            kill();
        }
        restart({ { "shared", "claude" } });
        if (c.killed == Killed::AfterTheRestart) {
            kill();
        }
        rows();
        const hooks::SessionRegistry& registry = test::ControllerProbe::sessionRegistry(*controller);
        for (int i = 0; i < 2; ++i) {
            const auto key = hooks::SessionKey::fromFileKey(ids[i].left(8));
            ASSERT_TRUE(key);
            const bool listed = i == 0 || c.killed == Killed::Never;
            EXPECT_EQ(registry.contains(*key), listed) << ids[i].toStdString();
            if (listed && registry.contains(*key)) {
                const auto at = std::find_if(registry.sessions().begin(), registry.sessions().end(),
                    [&](const hooks::SessionSnapshot& s) { return s.sid8 == *key; });
                EXPECT_EQ(at->hookAgent, processes[i]) << "its jump would go by the folder alone";
            }
        }
        for (const auto& agent : agents) {
            agent->kill();
            agent->waitForFinished();
        }
    }
}

namespace {

// Processes as the finder sees them, and a gate that holds a look while it is shut (for at most five seconds), as the
// kernel holds one at a mount that stopped answering. Shared with the looks, which may end after their test.
struct StuckMachine {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = true;
    std::map<qint64, hooks::ProcessFacts> processes;
    std::atomic_bool resolvedOnMainThread = false;
    std::map<QString, int> passes; // by what passed

    void pass(const QString& what = {}, std::chrono::milliseconds within = std::chrono::seconds(5))
    {
        std::unique_lock lock(mutex);
        ++passes[what];
        opened.wait_for(lock, within, [&] { return open; });
    }
    void setOpen(bool value)
    {
        std::unique_lock lock(mutex);
        open = value;
        opened.notify_all();
    }

    // Runs a process that stands for a Codex in folder, as the finder sees it.
    hooks::AgentProcessId start(std::vector<std::unique_ptr<QProcess>>& running, bool terminal,
        const QStringList& arguments, const QString& folder)
    {
        auto& process = running.emplace_back(std::make_unique<QProcess>());
        process->start("sleep", { "600" });
        EXPECT_TRUE(process->waitForStarted());
        const auto pid = hooks::AgentProcessId::ofPid(process->processId()).value_or(hooks::AgentProcessId {});
        const std::lock_guard lock(mutex);
        processes[pid.pid] = { pid, "codex", terminal, folder, QStringList { "codex" } + arguments };
        return pid;
    }

    static void end(std::vector<std::unique_ptr<QProcess>>& running)
    {
        for (const auto& process : running) {
            process->kill();
            process->waitForFinished();
        }
    }

    // The finder sees these processes; with stuckList its listing waits at the gate.
    static void install(const std::shared_ptr<StuckMachine>& machine, hooks::SessionAgentFinder& finder, bool stuckList)
    {
        finder.readProcess = [machine](qint64 pid) -> std::optional<hooks::ProcessFacts> {
            const std::lock_guard lock(machine->mutex);
            return machine->processes.contains(pid) ? std::optional(machine->processes[pid]) : std::nullopt;
        };
        finder.listProcesses = [machine, stuckList](const QString&) {
            if (stuckList) {
                machine->pass();
            }
            std::vector<hooks::ProcessFacts> all;
            const std::lock_guard lock(machine->mutex);
            std::transform(machine->processes.begin(), machine->processes.end(), std::back_inserter(all),
                [](const auto& entry) { return entry.second; });
            return all;
        };
    }
};

} // namespace

// Codex's server speaks for a session that ended with its own process, and for a listed one, and the looks at the
// processes, or at the folder their agent sent, that would tell whose process is whose never end. Another session's
// request reaches the table at once, and so does the ended session's own once its look has had its time and told
// nothing; what queues behind the look meanwhile is bounded, a request beyond it answered at once and said once; the
// stuck looks hold no thread of the pool the rest of murmeli shares, and no folder is resolved on the main thread.
TEST_F(AppControllerSessionsTest, ALookThatNeverEndsHoldsUpNothingButItsOwnSessionAndOnlyForItsTime)
{
    for (const bool stuckList : { true, false }) {
        SCOPED_TRACE(stuckList ? "the processes" : "a folder its agent sent");
        restart({});
        lines.clear();
        const QString n = QString::number(stuckList);
        const QString id = "e0de000" + n + "-1111-4111-8111-111111111111";
        const QString folder = stuckList ? "ended" : "stuck";
        const auto machine = std::make_shared<StuckMachine>();
        std::vector<std::unique_ptr<QProcess>> running;
        const auto stop = qScopeGuard([&] {
            machine->setOpen(true);
            StuckMachine::end(running);
        });
        const auto start = [&](bool terminal, const QStringList& arguments, const QString& in) {
            return machine->start(running, terminal, arguments, path(in));
        };
        hooks::SessionAgentFinder& finder = test::ControllerProbe::agentFinder(*controller);
        StuckMachine::install(machine, finder, stuckList);
        finder.resolveFolder = [machine, stuckList, main = QThread::currentThread()](const QString& path) {
            if (QThread::currentThread() == main) {
                machine->resolvedOnMainThread = true;
            } else if (!stuckList && path.endsWith("stuck")) {
                machine->pass();
            }
            return path;
        };
        const hooks::AgentProcessId server = start(false, { "app-server" }, "ended");
        const hooks::AgentProcessId own = start(true, { "resume", id }, "ended");
        const QByteArray fromServer = "x-murmeli-agent-process: " + server.pidText().toUtf8() + ' '
            + QByteArray::number(server.startTicks) + "\r\n";
        post("SessionStart", id, "ended", {}, "codex", fromServer);
        ASSERT_TRUE(waitUntil([&] { return rows()["ended"].sid == id.left(8) && finder.tiedAgent(id) == own; }));
        running[1]->kill();
        running[1]->waitForFinished();
        {
            const std::lock_guard lock(machine->mutex);
            machine->processes.erase(own.pid);
        }
        ASSERT_TRUE(rows().empty()) << lines.join('\n').toStdString();

        // Its next word, from where a Codex that may be its own again works, waits for a look; meanwhile a listed
        // session of the server there speaks, and another agent's session asks.
        start(true, {}, folder);
        machine->setOpen(false);
        post("PostToolUse", id, folder, {}, "codex", fromServer);
        post("SessionStart", "11570000-3333-4333-8333-33333333333" + n, folder, {}, "codex", fromServer);
        post("SessionStart", "07e4000" + n + "-2222-4222-8222-222222222222", "other");
        const auto asks = [&](const QString& session, const QString& toolUseId, const QByteArray& headers) {
            const QByteArray body = QJsonDocument(QJsonObject { { "session_id", session }, { "tool_use_id", toolUseId },
                                                      { "tool_name", "Bash" }, { "tool_input", QJsonObject {} } })
                                        .toJson();
            auto client = std::make_unique<test::HttpClient>(test::ControllerProbe::hookServer(*controller).port());
            client->write("POST /hook/PermissionRequest HTTP/1.1\r\n" + headers
                + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            return client;
        };
        const auto othersRequest = asks("07e4000" + n + "-2222-4222-8222-222222222222", "tu-other", {});
        EXPECT_TRUE(waitUntil([&] { return table().isHeld("tu-other"); }, hooks::SessionAgentFinder::lookLimitMs))
            << "another session's request waits for the look";
        const int before = handled;
        const auto ownRequest = asks(id, "tu-own", fromServer);
        ASSERT_TRUE(waitUntil([&] { return handled > before; }));

        // Behind the look the queue fills, and a request beyond it is answered at once.
        const QJsonObject late { { "session_id", id }, { "cwd", path(folder) }, { "tool_name", "Read" },
            { "_murmeli_agent_process", server.pidText() + ' ' + QString::number(server.startTicks) } };
        for (std::size_t i = 0; i < app::SessionRoad::maxWaitingEvents; ++i) {
            controller->sessions().handleHookEvent("PostToolUse", late);
        }
        for (const char* beyond : { "tu-beyond", "tu-beyond-too" }) {
            EXPECT_EQ(asks(id, beyond, fromServer)->readUntilClosed(1000).toStdString(),
                test::expectedReply(200, "OK", "{}").toStdString());
        }
        EXPECT_EQ(lines.filter("wait for a look at the processes").size(), 1) << lines.join('\n').toStdString();
        // No more than the bound waits.
        EXPECT_EQ(
            lines.filter(QStringLiteral("Sessions: %1 events wait").arg(app::SessionRoad::maxWaitingEvents)).size(), 1)
            << lines.join('\n').toStdString();
        EXPECT_FALSE(table().isHeld("tu-own"));

        // The pool the panel, the jump and speech share runs work with one thread.
        QThreadPool& shared = *QThreadPool::globalInstance();
        const int threads = shared.maxThreadCount();
        shared.setMaxThreadCount(1);
        const auto restore = qScopeGuard([&] { shared.setMaxThreadCount(threads); });
        const auto ran = std::make_shared<std::atomic_bool>(false);
        shared.start([ran] { *ran = true; });
        EXPECT_TRUE(waitUntil([&] { return ran->load(); }, 1000)) << "the stuck look holds a shared thread";

        clock->advance(hooks::SessionAgentFinder::lookLimitMs);
        EXPECT_TRUE(waitUntil([&] { return table().isHeld("tu-own"); }, 1000)) << lines.join('\n').toStdString();
        EXPECT_FALSE(machine->resolvedOnMainThread);
        table().resolve("tu-other", hooks::ApprovalDecision::deny());
        table().resolve("tu-own", hooks::ApprovalDecision::deny());
    }
}

// A full list makes room for a new session by letting go of the one heard from longest ago, whatever order the others
// came in.
TEST_F(AppControllerSessionsTest, AFullListMakesRoomByLettingGoOfTheSessionHeardFromLongestAgo)
{
    const int bound = int(hooks::SessionRegistry::maxSessions);
    const auto start = [&](int i) {
        post("SessionStart", QStringLiteral("f%1-1111-4111-8111-111111111111").arg(i, 7, 10, QLatin1Char('0')),
            QStringLiteral("project%1").arg(i));
    };
    // Heard from 40 minutes ago (one), then 30 and 20 minutes ago (the rest, half each).
    start(0);
    clock->advance(10 * minute);
    for (int i = 1; i < bound; ++i) {
        start(i);
        if (i == bound / 2) {
            clock->advance(10 * minute);
        }
    }
    clock->advance(20 * minute);
    ASSERT_EQ(int(rows().size()), bound);

    post("SessionStart", QStringLiteral("0a1b2c3d-1111-4111-8111-111111111111"), QStringLiteral("newcomer"));
    const auto listed = rows();
    EXPECT_TRUE(listed.contains(QStringLiteral("newcomer")));
    EXPECT_FALSE(listed.contains(QStringLiteral("project0")));
    EXPECT_EQ(int(listed.size()), bound);
}

// Six sessions of Codex's server name folders on a mount that stopped answering. Each such folder holds one thread of
// its own, and no look at the processes: a session that its process names is still tied to it, and one whose windows
// closed still ends, while the folders hang.
TEST_F(AppControllerSessionsTest, FoldersThatStopAnsweringHoldAThreadEachAndNeverTheLooks)
{
    const auto machine = std::make_shared<StuckMachine>();
    // The dead mount: a folder in it answers once the test lets it go, within a minute.
    const auto mount = std::make_shared<StuckMachine>();
    mount->setOpen(false);
    std::vector<std::unique_ptr<QProcess>> running;
    const auto stop = qScopeGuard([&] {
        mount->setOpen(true);
        StuckMachine::end(running);
    });
    hooks::SessionAgentFinder& finder = test::ControllerProbe::agentFinder(*controller);
    StuckMachine::install(machine, finder, false);
    finder.resolveFolder = [mount](const QString& folder) {
        if (folder.section(u'/', -1).startsWith("dead")) {
            mount->pass(folder, std::chrono::minutes(1));
        }
        return folder;
    };
    const hooks::AgentProcessId server = machine->start(running, false, { "app-server" }, path("home"));
    const QByteArray fromServer = "x-murmeli-agent-process: " + server.pidText().toUtf8() + ' '
        + QByteArray::number(server.startTicks) + "\r\n";
    for (int i = 1; i <= 6; ++i) {
        post("SessionStart", QStringLiteral("dead000%1-1111-4111-8111-111111111111").arg(i),
            QStringLiteral("dead%1").arg(i), {}, "codex", fromServer);
    }

    const QString named = "9a3e0000-2222-4222-8222-222222222222";
    const hooks::AgentProcessId own = machine->start(running, true, { "resume", named }, path("gamma"));
    post("SessionStart", named, "gamma", {}, "codex", fromServer);
    EXPECT_TRUE(waitUntil([&] { return finder.tiedAgent(named) == own; })) << "no look gave proof";
    const QString untied = "0b1e0000-3333-4333-8333-333333333333";
    machine->start(running, true, {}, path("beta"));
    machine->start(running, true, {}, path("beta"));
    post("SessionStart", untied, "beta", {}, "codex", fromServer);
    EXPECT_TRUE(waitUntil([&] {
        const auto held = finder.heldAgent(untied);
        return held && held->undecided.size() == 2;
    })) << "no look saw its windows";
    EXPECT_TRUE(waitUntil([] { return common::lookPool().activeThreadCount() == 0; }))
        << "looks are held in the dead folders";

    // Its windows close, and the looks that follow, at their pace, find none left.
    for (std::size_t window : { 2, 3 }) {
        running[window]->kill();
        running[window]->waitForFinished();
    }
    {
        const std::lock_guard lock(machine->mutex);
        std::erase_if(machine->processes, [&](const auto& entry) { return entry.second.cwd == path("beta"); });
    }
    for (int look = 0; look < 6 && rows().contains("beta"); ++look) {
        clock->advance(hooks::SessionAgentFinder::lookLimitMs);
        waitUntil([&] { return finder.looksUnderWay() == 0; }, 1000);
    }
    EXPECT_FALSE(rows().contains("beta")) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter(untied.left(8) + " ended").size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(rows().contains("gamma"));
    const std::lock_guard lock(mount->mutex);
    for (const auto& [folder, times] : mount->passes) {
        EXPECT_EQ(times, 1) << "asked again while it hangs: " << folder.toStdString();
    }
}
