#include <gtest/gtest.h>

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
        murmeli.emplace();
        environment = test::environmentFor(test::ControllerProbe::hookServer(murmeli->controller).port(),
            murmeli->root.path() + QStringLiteral("/murmeli"));
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
// process, so the end of one ends neither session nor the request it holds, and "→ Open" says it cannot tell. A
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
    // B's terminal closes, and A's agent is killed: neither ends a session or answers A's request.
    ::kill(static_cast<pid_t>(agentB), SIGHUP);
    ::kill(static_cast<pid_t>(agentA), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentA)); }));
    murmeli->controller.sessions().syncSessions();
    EXPECT_TRUE(holds("tu-a")) << murmeli->lines.join(u'\n').toStdString();
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
// session speaks: from then on neither is tied to it, so closing the window ends neither session and answers neither
// request, not even in the hook that watched it while it was the likely one.
TEST_F(SharedAgentServerTest, ALoneWindowStaysTheLikelyOneOnlyUntilItsOwnSessionSpeaks)
{
    const QString script = idMadeNow('d');
    const QString own = idMadeNow('e');
    const qint64 window = inTerminal({});
    ASSERT_GT(window, 1);
    startSession(script);
    // Its record names the window before the request comes: the request's hook watches the window from the start.
    const auto recorded = [&](const QString& id, qint64 pid) {
        QFile record(murmeli->root.path() + QStringLiteral("/murmeli/%1-session.json").arg(keyOf(id)));
        return record.open(QIODevice::ReadOnly)
            && record.readAll().contains(QStringLiteral("\"agent_process\":\"%1 ").arg(pid).toUtf8());
    };
    ASSERT_TRUE(waitUntil([&] { return recorded(script, window); }));
    ask(script, "tu-script");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-script"); }, 20000));
    startSession(own);
    ask(own, "tu-own");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-own"); }, 20000));
    // The window's own session spoke: the other one is the server's again.
    EXPECT_TRUE(waitUntil([&] { return recorded(script, server); }));
    ::kill(static_cast<pid_t>(window), SIGHUP);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(window)); }));
    murmeli->controller.sessions().syncSessions();
    // Nothing comes to wait for where all is well: the request is still held after four of the hook watcher's looks.
    EXPECT_FALSE(waitUntil([&] { return !holds("tu-script"); }, 1000)) << murmeli->lines.join(u'\n').toStdString();
    EXPECT_TRUE(holds("tu-own"));
    EXPECT_FALSE(keyOf(script).isEmpty());
    EXPECT_FALSE(keyOf(own).isEmpty());
}
