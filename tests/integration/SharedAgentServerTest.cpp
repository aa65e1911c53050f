#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
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

} // namespace

// Codex runs the hooks of all its sessions from one background server without a terminal. Two of its terminals in one
// folder, both started before either session was made, cannot be told apart: neither session is tied to either
// process, so the end of one ends neither session nor the request it holds, and "→ Open" says it cannot tell. A
// resumed session, whose agent's command line names it, is that agent's: its request and its row go as it does.
TEST(SharedAgentServerTest, SessionsOfOneServerInOneFolderAreTiedToAProcessOnlyWhereItIsTheirs)
{
    test::needTools({ "script", "setsid", "perl" });
    if (IsSkipped() || HasFailure()) {
        return;
    }
    QTemporaryDir work;
    QTemporaryDir bin;
    // The kernel names a process after the file it runs: perl under the agent's name stands in for it.
    const QString codex = bin.path() + QStringLiteral("/codex");
    ASSERT_TRUE(QFile::link(QStandardPaths::findExecutable(QStringLiteral("perl")), codex));
    test::RunningMurmeli murmeli;
    const quint16 port = test::ControllerProbe::hookServer(murmeli.controller).port();
    hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(murmeli.controller);
    const hooks::SessionRegistry& registry = test::ControllerProbe::sessionRegistry(murmeli.controller);
    const QProcessEnvironment environment
        = test::environmentFor(port, murmeli.root.path() + QStringLiteral("/murmeli"));

    std::vector<std::unique_ptr<QProcess>> processes;
    const auto start = [&](const QString& program, const QStringList& arguments) -> qint64 {
        processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *processes.back();
        process.setWorkingDirectory(work.path());
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        return waitUntil([&] { return process.canReadLine(); }) ? process.readLine().trimmed().toLongLong() : 0;
    };
    const auto inTerminal = [&](const QString& arguments) {
        return start(QStringLiteral("script"),
            { QStringLiteral("-qfc"), codex + QStringLiteral(" -e '%1' %2").arg(agentScript, arguments),
                QStringLiteral("/dev/null") });
    };
    const qint64 server = start(QStringLiteral("setsid"), { codex, QStringLiteral("-e"), serverScript });
    const QString resumed = QStringLiteral("0190aaaa-0000-7000-8000-00000000000c");
    const qint64 agentA = inTerminal({});
    const qint64 agentB = inTerminal({});
    const qint64 agentC = inTerminal(QStringLiteral("resume ") + resumed);
    const auto stop = qScopeGuard([&] {
        for (const qint64 pid : { server, agentA, agentB, agentC }) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
        for (const auto& process : processes) {
            process->kill();
            process->waitForFinished();
        }
    });
    ASSERT_TRUE(server > 1 && agentA > 1 && agentB > 1 && agentC > 1);
    // Both sessions are made once all three terminals run.
    const QString idA = idMadeNow('a');
    const QString idB = idMadeNow('b');
    int bodies = 0;
    const auto run = [&](const QString& hook, const QByteArray& body) {
        const QString file = work.path() + QStringLiteral("/body%1.json").arg(++bodies);
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly));
        written.write(body);
        written.close();
        processes.front()->write((file + u' ' + test::hookScripts + hook + u'\n').toUtf8());
    };
    const auto keyOf = [&](const QString& id) {
        for (const hooks::SessionSnapshot& listed : registry.sessions()) {
            if (registry.idOf(listed.sid8) == id) {
                return listed.sid8.text();
            }
        }
        return QString();
    };
    const auto ask = [&](const QString& id, const char* toolUseId) {
        run(QStringLiteral("permission-hook"),
            QStringLiteral(R"({"session_id":"%1","cwd":"%2","tool_name":"Bash","tool_use_id":"%3",)"
                           R"("tool_input":{"command":"make"}})")
                .arg(id, work.path(), QLatin1String(toolUseId))
                .toUtf8());
    };
    const auto holds = [&](const char* toolUseId) { return table.isHeld(QLatin1String(toolUseId)); };
    for (const QString& id : { idA, idB, resumed }) {
        run(QStringLiteral("session-hook SessionStart"),
            QStringLiteral(R"({"session_id":"%1","cwd":"%2"})").arg(id, work.path()).toUtf8());
    }
    ASSERT_TRUE(
        waitUntil([&] { return !keyOf(idA).isEmpty() && !keyOf(idB).isEmpty() && !keyOf(resumed).isEmpty(); }, 20000))
        << murmeli.lines.join(u'\n').toStdString();
    ask(idA, "tu-a");
    ask(resumed, "tu-c");
    ASSERT_TRUE(waitUntil([&] { return holds("tu-a") && holds("tu-c"); }, 20000));

    // "→ Open" on either row of the two: the panel says it cannot tell which terminal is the session's.
    notch::PanelViewModel& vm = murmeli.controller.vm();
    for (const QString& id : { idA, idB }) {
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
        EXPECT_EQ(notice.value_or(QStringLiteral("(none)")).toStdString(), "Can't tell which terminal")
            << key.toStdString();
    }

    // The resumed session's terminal closes: its request and its row go; the others' stay.
    ::kill(static_cast<pid_t>(agentC), SIGHUP);
    EXPECT_TRUE(waitUntil([&] { return !holds("tu-c"); }, 3000));
    murmeli.controller.sessions().syncSessions();
    EXPECT_TRUE(keyOf(resumed).isEmpty());
    // The server runs on, and runs a late hook of that session: it does not bring the session back.
    run(QStringLiteral("session-hook Stop"),
        QStringLiteral(R"({"session_id":"%1","cwd":"%2"})").arg(resumed, work.path()).toUtf8());
    ASSERT_TRUE(waitUntil([&] { return murmeli.lines.contains(QStringLiteral("Hook: Stop")); }, 20000));
    murmeli.controller.sessions().syncSessions();
    EXPECT_TRUE(keyOf(resumed).isEmpty());
    // B's terminal closes, and A's agent is killed: neither ends a session or answers A's request.
    ::kill(static_cast<pid_t>(agentB), SIGHUP);
    ::kill(static_cast<pid_t>(agentA), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return test::processGone(static_cast<pid_t>(agentA)); }));
    murmeli.controller.sessions().syncSessions();
    EXPECT_TRUE(holds("tu-a")) << murmeli.lines.join(u'\n').toStdString();
    EXPECT_FALSE(keyOf(idA).isEmpty());
    EXPECT_FALSE(keyOf(idB).isEmpty());
}
