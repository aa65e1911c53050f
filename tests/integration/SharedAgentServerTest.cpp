#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <signal.h>

#include "tests/integration/HookScriptRig.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

// An agent's terminal process: prints its pid, then waits.
constexpr char agentScript[] = R"($| = 1; print "$$\n"; sleep 600;)";
// The server without a terminal that runs every session's hooks: prints its pid, then runs each hook it is given,
// one line each ("<body file> <script> [argument]"), in its folder, without waiting for it (nor reaping it: a hook run
// with SIGCHLD ignored loses the status of its own children).
constexpr char serverScript[] = R"(
    $| = 1; print "$$\n";
    while (my $line = <STDIN>) {
        chomp $line;
        my ($body, @hook) = split(/ /, $line);
        exec('bash', '-c', 'exec bash "$@" <"$0"', $body, @hook) if fork() == 0;
    }
    sleep 600;
)";

// A session id of UUID version 7 made now, as the agent makes its ids.
QString idMadeNow(char tail)
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    return QStringLiteral("%1-%2-7abc-8def-%3")
        .arg(ms >> 16, 8, 16, QLatin1Char('0'))
        .arg(ms & 0xffff, 4, 16, QLatin1Char('0'))
        .arg(QString(12, QLatin1Char(tail)));
}

// Codex's shared server and its terminals in one folder, as stand-ins: perl under the agent's name (the kernel names a
// process after the file it runs), the server without a terminal running each hook it is given through the real hook
// scripts, each terminal agent under script(1), against a murmeli of the test's own.
class SharedAgentServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::needTools({ "script", "setsid", "perl" });
        if (IsSkipped() || HasFailure()) {
            return;
        }
        ASSERT_TRUE(QFile::link(QStandardPaths::findExecutable(QStringLiteral("perl")), codex));
        murmeli.emplace(&state);
        environment = test::environmentFor(
            test::ControllerProbe::hookServer(murmeli->controller).port(), state.path() + QStringLiteral("/murmeli"));
        server = start(QStringLiteral("setsid"), { codex, QStringLiteral("-e"), serverScript });
        ASSERT_GT(server, 1);
    }
    void TearDown() override
    {
        for (const qint64 pid : pids) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
        for (const auto& process : processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    qint64 start(const QString& program, const QStringList& arguments)
    {
        processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *processes.back();
        process.setWorkingDirectory(work.path());
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        const qint64 pid
            = waitUntil([&] { return process.canReadLine(); }) ? process.readLine().trimmed().toLongLong() : 0;
        pids.push_back(pid);
        return pid;
    }
    qint64 inTerminal(const QString& arguments)
    {
        return start(QStringLiteral("script"),
            { QStringLiteral("-qfc"), codex + QStringLiteral(" -e '%1' %2").arg(agentScript, arguments),
                QStringLiteral("/dev/null") });
    }
    // A Codex window, and a session that first speaks beside it alone: the window is its likely one once its record
    // says so.
    qint64 windowWithSession(const QString& id)
    {
        const qint64 window = inTerminal({});
        if (window > 1) {
            startSession(id);
            waitUntil([&] { return recorded(id, window); }, 20000);
        }
        return window;
    }
    // The server runs the hook with the body.
    void run(const QString& hook, const QByteArray& body)
    {
        const QString file = work.path() + QStringLiteral("/body%1.json").arg(++bodies);
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly));
        written.write(body);
        written.close();
        processes.front()->write((file + u' ' + test::hookScripts + hook + u'\n').toUtf8());
    }
    void startSession(const QString& id)
    {
        run(QStringLiteral("session-hook SessionStart"),
            QStringLiteral(R"({"session_id":"%1","cwd":"%2"})").arg(id, work.path()).toUtf8());
    }
    void ask(const QString& id, const char* toolUseId)
    {
        run(QStringLiteral("permission-hook"),
            QStringLiteral(R"({"session_id":"%1","cwd":"%2","tool_name":"Bash","tool_use_id":"%3",)"
                           R"("tool_input":{"command":"make"}})")
                .arg(id, work.path(), QLatin1String(toolUseId))
                .toUtf8());
    }
    const hooks::SessionSnapshot* listed(const QString& id)
    {
        const hooks::SessionRegistry& registry = test::ControllerProbe::sessionRegistry(murmeli->controller);
        for (const hooks::SessionSnapshot& session : registry.sessions()) {
            if (registry.idOf(session.sid8) == id) {
                return &session;
            }
        }
        return nullptr;
    }
    QString keyOf(const QString& id)
    {
        const hooks::SessionSnapshot* session = listed(id);
        return session ? session->sid8.text() : QString();
    }
    bool holds(const char* toolUseId)
    {
        return test::ControllerProbe::pendingTable(murmeli->controller).isHeld(QLatin1String(toolUseId));
    }
    // "→ Open" on the session's row: what the row says of the jump once it is done.
    QString open(const QString& id)
    {
        notch::PanelViewModel& vm = murmeli->controller.vm();
        const QString key = keyOf(id);
        vm.onSessionSelect(key);
        std::optional<QString> notice;
        waitUntil(
            [&] {
                for (const notch::SessionRow& row : vm.sessions()) {
                    notice = row.sid == key ? row.jumpNotice : notice;
                }
                return notice.has_value();
            },
            10000);
        return notice.value_or(QStringLiteral("(none)"));
    }

    // murmeli goes, and starts again over the same folder and hook port, which the server's hooks still reach.
    void restart(const std::function<void()>& meanwhile = {})
    {
        const quint16 port = test::ControllerProbe::hookServer(murmeli->controller).port();
        murmeli.reset();
        if (meanwhile) {
            meanwhile();
        }
        murmeli.emplace(&state, port);
    }
    // Whether murmeli's record of the session names the process as its own.
    bool recorded(const QString& id, qint64 pid)
    {
        QFile record(state.path() + QStringLiteral("/murmeli/%1-session.json").arg(keyOf(id)));
        return record.open(QIODevice::ReadOnly)
            && record.readAll().contains(QStringLiteral("\"agent_process\":\"%1 ").arg(pid).toUtf8());
    }
    // The sync murmeli runs every 2 s, until the condition holds.
    bool syncedUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
    {
        return waitUntil(
            [&] {
                murmeli->controller.sessions().syncSessions();
                return condition();
            },
            timeoutMs);
    }

    QTemporaryDir state;
    QTemporaryDir work;
    QTemporaryDir bin;
    const QString codex = bin.path() + QStringLiteral("/codex");
    std::optional<test::RunningMurmeli> murmeli;
    QProcessEnvironment environment;
    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<qint64> pids;
    qint64 server = 0;
    int bodies = 0;
};

} // namespace

// Codex runs the hooks of all its sessions from one background server without a terminal. Two of its terminals in one
// folder, both started before either session was made, cannot be told apart: neither session is tied to either
// process, so the end of one, while the other runs, ends neither session nor the request it holds, and "→ Open" says
// it cannot tell. A
// resumed session, whose agent's command line names it, is that agent's: its request and its row go as it does.
TEST_F(SharedAgentServerTest, SessionsOfOneServerInOneFolderAreTiedToAProcessOnlyWhereItIsTheirs)
{
    const QString resumed = QStringLiteral("0190aaaa-0000-7000-8000-00000000000c");
    const qint64 agentA = inTerminal({});
    const qint64 agentB = inTerminal({});
    const qint64 agentC = inTerminal(QStringLiteral("resume ") + resumed);
    ASSERT_TRUE(agentA > 1 && agentB > 1 && agentC > 1);
    // Both sessions are made once all three terminals run.
    const QString idA = idMadeNow('a');
    const QString idB = idMadeNow('b');
    for (const QString& id : { idA, idB, resumed }) {
        startSession(id);
    }
    ASSERT_TRUE(
        waitUntil([&] { return !keyOf(idA).isEmpty() && !keyOf(idB).isEmpty() && !keyOf(resumed).isEmpty(); }, 20000))
        << murmeli->lines.join(u'\n').toStdString();
    ask(idA, "tu-a");
    ask(resumed, "tu-c");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-a") && holds("tu-c"); }, 20000));

    // "→ Open" on either row of the two: the panel says it cannot tell which terminal is the session's.
    for (const QString& id : { idA, idB }) {
        EXPECT_EQ(open(id).toStdString(), "Can't tell which terminal") << id.toStdString();
    }

    // The resumed session's terminal closes: its request and its row go; the others' stay.
    ::kill(static_cast<pid_t>(agentC), SIGHUP);
    EXPECT_TRUE(waitUntil([&] { return !holds("tu-c"); }, 3000));
    murmeli->controller.sessions().syncSessions();
    EXPECT_TRUE(keyOf(resumed).isEmpty());
    // The server runs on, and runs a late hook of that session: it does not bring the session back.
    run(QStringLiteral("session-hook Stop"),
        QStringLiteral(R"({"session_id":"%1","cwd":"%2"})").arg(resumed, work.path()).toUtf8());
    ASSERT_TRUE(waitUntil([&] { return murmeli->lines.contains(QStringLiteral("Hook: Stop")); }, 20000));
    murmeli->controller.sessions().syncSessions();
    EXPECT_TRUE(keyOf(resumed).isEmpty());
    // A's agent is killed: B's is still there and may be either's, so neither session ends, nor A's request.
    ::kill(static_cast<pid_t>(agentA), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentA)); }));
    EXPECT_FALSE(syncedUntil([&] { return !holds("tu-a"); }, 2500)) << murmeli->lines.join(u'\n').toStdString();
    EXPECT_FALSE(keyOf(idA).isEmpty());
    EXPECT_FALSE(keyOf(idB).isEmpty());
}

// Two Codex in one folder: B was started to resume its session, A plainly. B is killed, which ends its session and
// answers its request, and the session is resumed by its id in a new terminal: the first request after the resume is
// held, and the session is the new terminal's. A starts a new session: nothing ties it to A, so "→ Open" cannot tell,
// and A's kill ends nothing, while the resumed terminal's end ends its own session and answers its own request only.
TEST_F(SharedAgentServerTest, ASessionResumedByItsIdIsItsNewTerminalsAndAKillEndsOnlyItsOwn)
{
    const QString idA = idMadeNow('a');
    const QString idB = idMadeNow('b');
    const QString idNew = idMadeNow('c');
    const qint64 agentA = inTerminal({});
    const qint64 agentB = inTerminal(QStringLiteral("resume ") + idB);
    ASSERT_TRUE(agentA > 1 && agentB > 1);
    startSession(idA);
    startSession(idB);
    ask(idB, "tu-b1");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-b1") && !keyOf(idA).isEmpty(); }, 20000));
    ASSERT_TRUE(
        waitUntil([&] { return !murmeli->lines.filter(QStringLiteral("agent is pid %1;").arg(agentB)).isEmpty(); }));
    ::kill(static_cast<pid_t>(agentB), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentB)); }));
    murmeli->controller.sessions().syncSessions();
    EXPECT_FALSE(holds("tu-b1"));
    ASSERT_TRUE(keyOf(idB).isEmpty());

    const qint64 resumedB = inTerminal(QStringLiteral("resume ") + idB);
    ask(idB, "tu-b2");
    // Held, or let go at once with a word of why.
    ASSERT_TRUE(
        waitUntil([&] { return holds("tu-b2") || !murmeli->lines.filter(QStringLiteral("tu-b2")).isEmpty(); }, 20000));
    EXPECT_TRUE(holds("tu-b2")) << "the first request after the resume " << murmeli->lines.join(u'\n').toStdString();
    startSession(idNew);
    ask(idNew, "tu-new");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-new"); }, 20000));
    EXPECT_EQ(open(idNew).toStdString(), "Can't tell which terminal");
    const qsizetype before = murmeli->lines.size();
    EXPECT_NE(open(idB).toStdString(), "Can't tell which terminal");
    const QStringList jump = murmeli->lines.mid(before).filter(QStringLiteral("Jump: "));
    EXPECT_TRUE(jump.filter(QRegularExpression(QStringLiteral("\\b%1\\b").arg(agentA))).isEmpty())
        << jump.join(u'\n').toStdString();

    ::kill(static_cast<pid_t>(agentA), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentA)); }));
    murmeli->controller.sessions().syncSessions();
    EXPECT_TRUE(holds("tu-new") && holds("tu-b2"));
    EXPECT_FALSE(keyOf(idNew).isEmpty());
    ::kill(static_cast<pid_t>(resumedB), SIGHUP);
    EXPECT_TRUE(waitUntil([&] { return !holds("tu-b2"); }, 3000));
    murmeli->controller.sessions().syncSessions();
    EXPECT_TRUE(keyOf(idB).isEmpty());
    EXPECT_TRUE(holds("tu-new"));
    EXPECT_FALSE(keyOf(idNew).isEmpty());
}

// A lone Codex window is the likely one of a session the server runs alone (a script's), until the window's own
// session speaks: from then on neither is tied to it, so closing the window, while another stays open there, ends
// neither session and answers neither request, not even in the hook that watched it while it was the likely one.
TEST_F(SharedAgentServerTest, ALoneWindowStaysTheLikelyOneOnlyUntilItsOwnSessionSpeaks)
{
    const QString script = idMadeNow('d');
    const QString own = idMadeNow('e');
    // Its record names the window before the request comes: the request's hook watches the window from the start.
    const qint64 window = windowWithSession(script);
    ASSERT_TRUE(window > 1 && recorded(script, window));
    ask(script, "tu-script");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-script"); }, 20000));
    startSession(own);
    ask(own, "tu-own");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-own"); }, 20000));
    // The window's own session spoke: the other one is the server's again.
    EXPECT_TRUE(waitUntil([&] { return recorded(script, server); }));
    // Another window there, which either session may have, stays open.
    ASSERT_GT(inTerminal({}), 1);
    ::kill(static_cast<pid_t>(window), SIGHUP);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(window)); }));
    // Nothing comes to wait for where all is well: the request is still held after four of the hook watcher's looks,
    // and murmeli's own.
    EXPECT_FALSE(syncedUntil([&] { return !holds("tu-script"); }, 2500)) << murmeli->lines.join(u'\n').toStdString();
    EXPECT_TRUE(holds("tu-own")) << murmeli->lines.join(u'\n').toStdString();
    EXPECT_FALSE(keyOf(script).isEmpty());
    EXPECT_FALSE(keyOf(own).isEmpty());
}

// G2 runs a session resumed by its id, which its arguments name; G1 in the same folder starts a new one. murmeli goes,
// G1 is killed meanwhile, and murmeli starts again: G2's session has not spoken since, yet its record holds G2, which
// is never G1's session's likely one. Nothing of the agent is left for that session, which ends, its request with it.
TEST_F(SharedAgentServerTest, AfterARestartAProcessThatProvesOneSessionIsNoOtherSessionsLikelyOne)
{
    const QString resumed = idMadeNow('2');
    const QString fresh = idMadeNow('1');
    const qint64 g1 = inTerminal({});
    const qint64 g2 = inTerminal(QStringLiteral("resume ") + resumed);
    ASSERT_TRUE(g1 > 1 && g2 > 1);
    startSession(resumed);
    startSession(fresh);
    // The new session's record keeps G1 as a window that may be its own: after a restart it still had one.
    const auto keepsWindow = [&] {
        QFile record(state.path() + QStringLiteral("/murmeli/%1-session.json").arg(keyOf(fresh)));
        return record.open(QIODevice::ReadOnly)
            && record.readAll().contains(QStringLiteral("\"windows_seen\":[\"%1 ").arg(g1).toUtf8());
    };
    ASSERT_TRUE(waitUntil([&] { return recorded(resumed, g2) && !keyOf(fresh).isEmpty() && keepsWindow(); }, 20000))
        << murmeli->lines.join(u'\n').toStdString();

    restart();
    ASSERT_FALSE(keyOf(fresh).isEmpty());
    restart([&] {
        ::kill(static_cast<pid_t>(g1), SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(g1)); }));
    });
    ASSERT_FALSE(keyOf(fresh).isEmpty());
    ask(fresh, "tu-fresh");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-fresh"); }, 20000));
    EXPECT_EQ(open(fresh).toStdString(), "Can't tell which terminal");
    EXPECT_TRUE(murmeli->lines.filter(QStringLiteral("agent is pid %1;").arg(g2)).isEmpty())
        << murmeli->lines.join(u'\n').toStdString();
    EXPECT_NE(open(resumed).toStdString(), "Can't tell which terminal");

    EXPECT_TRUE(syncedUntil([&] { return !holds("tu-fresh") && keyOf(fresh).isEmpty(); }))
        << murmeli->lines.join(u'\n').toStdString();
    EXPECT_TRUE(recorded(resumed, g2));
}

// A Codex killed while it asked ends its session; `codex resume --last` in its terminal sends no start and names no
// id. What the server runs of that session next lists it again: alone in its folder the resumed Codex is its likely
// one, beside another one nothing tells which is its own; either way its request is held with its card.
TEST_F(SharedAgentServerTest, ASessionResumedWithLastAfterAKillComesBackWithItsCard)
{
    const struct {
        const char* what;
        bool beside;
        const char* first;
        const char* again;
    } cases[] = { { "alone in its folder", false, "tu-first-a", "tu-again-a" },
        { "beside a Codex started meanwhile", true, "tu-first-b", "tu-again-b" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString id = idMadeNow(c.beside ? 'b' : 'a');
        const qint64 window = inTerminal({});
        ASSERT_GT(window, 1);
        startSession(id);
        ASSERT_TRUE(waitUntil([&] { return recorded(id, window); }, 20000));
        ask(id, c.first);
        ASSERT_TRUE(waitUntil([&] { return holds(c.first); }, 20000));
        ::kill(static_cast<pid_t>(window), SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(window)); }));
        ASSERT_TRUE(syncedUntil([&] { return keyOf(id).isEmpty() && !holds(c.first); }));

        const qint64 other = c.beside ? inTerminal({}) : 0;
        const qint64 resumedWindow = inTerminal(QStringLiteral("resume --last"));
        ASSERT_TRUE(resumedWindow > 1 && (!c.beside || other > 1));
        const qsizetype heard = murmeli->lines.size();
        run(QStringLiteral("tool-hook"),
            QStringLiteral(R"({"session_id":"%1","cwd":"%2","hook_event_name":"PostToolUse","tool_name":"Bash",)"
                           R"("tool_input":{"command":"ls"}})")
                .arg(id, work.path())
                .toUtf8());
        ASSERT_TRUE(waitUntil([&] { return murmeli->lines.mid(heard).contains("Hook: PostToolUse"); }, 20000));
        ask(id, c.again);
        ASSERT_TRUE(waitUntil(
            [&] { return holds(c.again) || !murmeli->lines.filter(QLatin1String(c.again)).isEmpty(); }, 20000));
        // Held, which only a listed session's request is: its card shows on its row.
        EXPECT_TRUE(holds(c.again)) << murmeli->lines.join(u'\n').toStdString();
        EXPECT_EQ(open(id) == QLatin1String("Can't tell which terminal"), c.beside);
        for (const qint64 pid : { other, resumedWindow }) {
            if (pid > 1) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            }
        }
        ASSERT_TRUE(syncedUntil([&] { return keyOf(id).isEmpty(); })) << murmeli->lines.join(u'\n').toStdString();
    }
}

// Three Codex in one folder: B resumes its session by its id; two new sessions cannot tell A from C. A is killed: C may
// still be either's, and nothing ends. C is killed: what is left there is B's own, so both untied sessions end and
// their requests are let go at once; B's goes on.
TEST_F(SharedAgentServerTest, AnUntiedSessionEndsOnceNothingOfItsAgentIsLeftForIt)
{
    const QString idB = idMadeNow('b');
    const QString one = idMadeNow('1');
    const QString two = idMadeNow('2');
    const qint64 agentA = inTerminal({});
    const qint64 agentB = inTerminal(QStringLiteral("resume ") + idB);
    const qint64 agentC = inTerminal({});
    ASSERT_TRUE(agentA > 1 && agentB > 1 && agentC > 1);
    for (const QString& id : { idB, one, two }) {
        startSession(id);
    }
    ask(one, "tu-one");
    ask(two, "tu-two");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-one") && holds("tu-two") && recorded(idB, agentB); }, 20000))
        << murmeli->lines.join(u'\n').toStdString();

    ::kill(static_cast<pid_t>(agentA), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentA)); }));
    EXPECT_FALSE(syncedUntil([&] { return !holds("tu-one") || !holds("tu-two"); }, 2500))
        << murmeli->lines.join(u'\n').toStdString();

    ::kill(static_cast<pid_t>(agentC), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentC)); }));
    EXPECT_TRUE(syncedUntil([&] { return !holds("tu-one") && !holds("tu-two"); }))
        << murmeli->lines.join(u'\n').toStdString();
    EXPECT_TRUE(keyOf(one).isEmpty());
    EXPECT_TRUE(keyOf(two).isEmpty());
    EXPECT_FALSE(keyOf(idB).isEmpty());
}

// An editor's Codex server runs two chats in a folder where no Codex window runs, and both ask: nothing of their agent
// was ever beside them to be left, so both stay listed with their requests held while the server runs; once the server
// is gone, both end with a word of why, their requests with them.
TEST_F(SharedAgentServerTest, TwoChatsOfAServerWithoutAWindowStayWhileItRuns)
{
    const QString one = idMadeNow('1');
    const QString two = idMadeNow('2');
    for (const QString& id : { one, two }) {
        startSession(id);
    }
    ask(one, "tu-chat-1");
    ask(two, "tu-chat-2");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-chat-1") && holds("tu-chat-2"); }, 20000))
        << murmeli->lines.join(u'\n').toStdString();
    // Four of the hook watcher's looks, and murmeli's own, find nothing to end.
    EXPECT_FALSE(syncedUntil([&] { return !holds("tu-chat-1") || !holds("tu-chat-2"); }, 2500))
        << murmeli->lines.join(u'\n').toStdString();
    EXPECT_FALSE(keyOf(one).isEmpty());
    EXPECT_FALSE(keyOf(two).isEmpty());

    ::kill(static_cast<pid_t>(server), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(server)); }));
    EXPECT_TRUE(syncedUntil([&] { return !holds("tu-chat-1") && !holds("tu-chat-2") && keyOf(one).isEmpty(); }))
        << murmeli->lines.join(u'\n').toStdString();
    EXPECT_EQ(
        murmeli->lines.filter(QRegularExpression(QStringLiteral("^Sessions: \\w+ ended: its agent .* is gone"))).size(),
        2)
        << murmeli->lines.join(u'\n').toStdString();
}

// One Codex window: its session A speaks, then `/new` makes B in the same window, which takes the window from A, and
// B ends. When A speaks again after `/resume`, the lone window, there before A first spoke and claimed by no other
// session, is A's again: "→ Open" goes to it, and the log says why B's row left.
TEST_F(SharedAgentServerTest, ALoneWindowIsItsSessionsAgainOnceTheSessionThatTookItHasEnded)
{
    const QString a = idMadeNow('a');
    const QString b = idMadeNow('b');
    const qint64 window = windowWithSession(a);
    ASSERT_TRUE(window > 1 && recorded(a, window)) << murmeli->lines.join(u'\n').toStdString();
    startSession(b);
    ASSERT_TRUE(waitUntil([&] { return recorded(a, server) && !keyOf(b).isEmpty(); }, 20000))
        << murmeli->lines.join(u'\n').toStdString();
    const QString keyB = keyOf(b);
    run(QStringLiteral("session-hook SessionEnd"),
        QStringLiteral(R"({"session_id":"%1","cwd":"%2"})").arg(b, work.path()).toUtf8());
    ASSERT_TRUE(waitUntil([&] { return keyOf(b).isEmpty(); }, 20000));
    EXPECT_TRUE(murmeli->lines.contains(QStringLiteral("Sessions: %1 ended: its agent said so").arg(keyB)))
        << murmeli->lines.join(u'\n').toStdString();

    ask(a, "tu-resumed");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-resumed"); }, 20000));
    EXPECT_TRUE(waitUntil([&] { return recorded(a, window); })) << murmeli->lines.join(u'\n').toStdString();
    EXPECT_NE(open(a).toStdString(), "Can't tell which terminal");
}
