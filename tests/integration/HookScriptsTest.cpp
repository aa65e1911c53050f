#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <signal.h>
#include <unistd.h>

#include "tests/integration/HookScriptRig.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Files.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

const QString& scripts = test::hookScripts;
using test::environmentFor;
using test::RunningMurmeli;

struct ScriptRun {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    bool finished = false;
};

// Runs a hook script with the given JSON on standard input while the test's event loop keeps turning, so an
// in-process murmeli can answer it. With closeInput false the agent's end of standard input stays open.
ScriptRun runScript(const QString& script, const QStringList& arguments, const QByteArray& input,
    const QProcessEnvironment& environment, bool closeInput = true)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/bash"), QStringList { scripts + script } + arguments);
    process.write(input);
    if (closeInput) {
        process.closeWriteChannel();
    }
    const bool finished = waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000);
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError(), finished };
}

void writeTable(const QString& path, const QByteArray& table)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(table);
}

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A kernel TCP table (as in /proc/net/tcp or tcp6) with one listening socket per (address, uid).
QByteArray tcpTable(const QList<std::pair<QByteArray, uint>>& listeners, quint16 port)
{
    QByteArray table
        = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    for (const auto& [address, uid] : listeners) {
        table += "   0: " + address + ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0')
            + " 00000000:0000 0A 00000000:00000000 00:00000000 00000000 " + QByteArray::number(uid)
            + "        0 4242 1 0000000000000000 100 0 0 10 0\n";
    }
    return table;
}

} // namespace

TEST(HookScriptsTest, ScriptsStaySilentAndSucceedWhenMurmeliIsNotThere)
{
    QTemporaryDir root;
    const auto environment = environmentFor(unusedPort(), root.path() + QStringLiteral("/murmeli"));
    const QByteArray body = R"({"session_id":"abcd1234-x","hook_event_name":"PostToolUse","tool_name":"Bash"})";
    QElapsedTimer elapsed;
    elapsed.start();
    for (const auto& [script, argument] : { std::pair { "tool-hook", "" }, { "notify-hook", "" },
             { "permission-hook", "" }, { "session-hook", "Stop" } }) {
        const ScriptRun run = runScript(QLatin1String(script),
            argument[0] ? QStringList { QLatin1String(argument) } : QStringList(), body, environment);
        EXPECT_EQ(run.exitCode, 0) << script;
        EXPECT_TRUE(run.output.isEmpty()) << script << run.output.constData();
    }
    EXPECT_LT(elapsed.elapsed(), 20000);
    const ScriptRun status = runScript(QStringLiteral("status-hook"), {}, body, environment);
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.output, "murmeli\n");
    // The status file is written even when murmeli is away, under the session key only.
    EXPECT_EQ(test::readFile(root.path() + QStringLiteral("/murmeli/abcd1234-status.json")), body);
    // Never over the file of another session whose id begins alike.
    EXPECT_EQ(runScript(QStringLiteral("status-hook"), {}, R"({"session_id":"abcd1234-y"})", environment).exitCode, 0);
    EXPECT_EQ(test::readFile(root.path() + QStringLiteral("/murmeli/abcd1234-status.json")), body);
}

TEST(HookScriptsTest, EventsArriveWithTheirNamesAndUnsafeInputIsHarmless)
{
    RunningMurmeli murmeli;
    const QTemporaryDir& root = murmeli.root;
    const QStringList& lines = murmeli.lines;
    const QString statusDir = root.path() + QStringLiteral("/murmeli");
    const auto environment = environmentFor(test::ControllerProbe::hookServer(murmeli.controller).port(), statusDir);

    const QByteArray notice
        = R"({"session_id":"note5678-y","hook_event_name":"Notification","notification_type":"idle_prompt","message":"waiting"})";
    EXPECT_EQ(runScript(QStringLiteral("notify-hook"), {}, notice, environment).exitCode, 0);
    const QByteArray failure
        = R"({"session_id":"note5678-y","hook_event_name":"PostToolUseFailure","tool_name":"Bash"})";
    EXPECT_EQ(runScript(QStringLiteral("tool-hook"), {}, failure, environment).exitCode, 0);
    EXPECT_EQ(
        runScript(QStringLiteral("session-hook"), { QStringLiteral("SessionStart") }, notice, environment).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return lines.contains(QStringLiteral("Hook: SessionStart")); }));
    EXPECT_TRUE(lines.contains(QStringLiteral("Hook: Notification")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Hook: PostToolUseFailure")));

    // An event argument that is not a plain name is not sent; a session id that could leave the directory does not
    // name a status file.
    const int before = lines.size();
    EXPECT_EQ(runScript(QStringLiteral("session-hook"), { QStringLiteral("../x") }, notice, environment).exitCode, 0);
    for (const QByteArray& id : { QByteArray("../../etc/x"), QByteArray("ab/../cd") }) {
        const QByteArray sneaky = R"({"session_id":")" + id + R"(","model":{"display_name":"M"}})";
        const ScriptRun status = runScript(QStringLiteral("status-hook"), {}, sneaky, environment);
        EXPECT_EQ(status.output, "murmeli · M\n");
    }
    ASSERT_TRUE(waitUntil([&] { return lines.contains(QStringLiteral("Hook: status")); }));
    EXPECT_FALSE(lines.mid(before).contains(QStringLiteral("Hook: ../x")));
    EXPECT_TRUE(QDir(statusDir).entryList({ QStringLiteral("*-status.json") }, QDir::Files).isEmpty());
}

TEST(HookScriptsTest, AStatusLineRunAfterTheSessionEndedBringsNoRowBack)
{
    // An agent's status line may run once more after /clear or exit has ended its session; the row stays gone until
    // the session itself speaks again (a resume).
    RunningMurmeli murmeli;
    const QString statusDir = murmeli.root.path() + QStringLiteral("/murmeli");
    const QString statusFile = statusDir + QStringLiteral("/gone1234-status.json");
    const auto environment = environmentFor(test::ControllerProbe::hookServer(murmeli.controller).port(), statusDir);
    const hooks::SessionRegistry& registry = test::ControllerProbe::sessionRegistry(murmeli.controller);
    const auto listed = [&] {
        QStringList keys;
        for (const hooks::SessionSnapshot& s : registry.sessions()) {
            keys << s.sid8.text();
        }
        return keys;
    };
    const QByteArray body = R"({"session_id":"gone1234-5678-abcd","cwd":"/tmp","model":{"display_name":"M"}})";
    const auto run = [&](const char* script, const QStringList& arguments) {
        EXPECT_EQ(runScript(QLatin1String(script), arguments, body, environment).exitCode, 0) << script;
    };

    run("session-hook", { QStringLiteral("SessionStart") });
    run("status-hook", {});
    ASSERT_TRUE(waitUntil([&] { return listed() == QStringList { QStringLiteral("gone1234") }; }))
        << listed().join(',').toStdString();
    run("session-hook", { QStringLiteral("SessionEnd") });
    ASSERT_TRUE(waitUntil([&] { return listed().isEmpty(); }));

    const int before = murmeli.lines.count(QStringLiteral("Hook: status"));
    run("status-hook", {});
    ASSERT_TRUE(waitUntil([&] { return murmeli.lines.count(QStringLiteral("Hook: status")) > before; }));
    // The late file goes at the next look at the directory (the panel's poll), and the row never comes.
    murmeli.controller.sessions().syncSessions();
    EXPECT_FALSE(QFile::exists(statusFile)) << "the late status file stayed";
    EXPECT_TRUE(listed().isEmpty()) << listed().join(',').toStdString();

    run("session-hook", { QStringLiteral("SessionStart") });
    run("status-hook", {});
    EXPECT_TRUE(waitUntil([&] { return listed() == QStringList { QStringLiteral("gone1234") }; }));
    murmeli.controller.sessions().syncSessions();
    EXPECT_EQ(listed(), QStringList { QStringLiteral("gone1234") });
    EXPECT_TRUE(QFile::exists(statusFile)) << "a resumed session's status file was deleted";
}

TEST(HookScriptsTest, ScriptsTalkOnlyToAListenerOfTheirOwnUser)
{
    RunningMurmeli murmeli;
    const QTemporaryDir& root = murmeli.root;
    const QStringList& lines = murmeli.lines;
    const quint16 port = test::ControllerProbe::hookServer(murmeli.controller).port();
    const uint own = ::geteuid();
    const uint other = own + 1;
    const QByteArray loopback = "0100007F";
    const QByteArray any6 = "00000000000000000000000000000000";
    struct Case {
        const char* event;
        QList<std::pair<QByteArray, uint>> tcp;
        QList<std::pair<QByteArray, uint>> tcp6;
        bool delivered;
    };
    // The refused ones first, so that once the delivered ones have arrived the others would have too.
    const QList<Case> cases {
        { "OtherUser", { { loopback, other } }, {}, false },
        { "NoListener", {}, {}, false },
        { "OtherUserOnAnySix", { { loopback, own } }, { { any6, other } }, false },
        { "OwnOnAny", { { "00000000", own } }, {}, true },
        { "OwnOnMappedSix", {}, { { "0000000000000000FFFF00000100007F", own } }, true },
    };
    const QByteArray body = R"({"session_id":"uid12345-z","model":{"display_name":"M"}})";
    for (const Case& c : cases) {
        QTemporaryDir tables;
        writeTable(tables.filePath(QStringLiteral("tcp")), tcpTable(c.tcp, port));
        writeTable(tables.filePath(QStringLiteral("tcp6")), tcpTable(c.tcp6, port));
        QProcessEnvironment environment = environmentFor(port, root.path() + QStringLiteral("/murmeli"));
        environment.insert(QStringLiteral("MURMELI_PROC_NET"), tables.path());
        EXPECT_EQ(runScript(QStringLiteral("session-hook"), { QLatin1String(c.event) }, body, environment).exitCode, 0);
        if (!c.delivered) {
            // The status line goes on as when murmeli is away.
            EXPECT_EQ(runScript(QStringLiteral("status-hook"), {}, body, environment).output, "murmeli · M\n");
        }
    }
    ASSERT_TRUE(waitUntil([&] {
        return lines.contains(QStringLiteral("Hook: OwnOnAny"))
            && lines.contains(QStringLiteral("Hook: OwnOnMappedSix"));
    }));
    for (const Case& c : cases) {
        EXPECT_EQ(lines.contains(QStringLiteral("Hook: ") + QLatin1String(c.event)), c.delivered) << c.event;
    }
    EXPECT_FALSE(lines.contains(QStringLiteral("Hook: status")));
    EXPECT_FALSE(test::readFile(root.path() + QStringLiteral("/murmeli/uid12345-status.json")).isEmpty());
}

TEST(HookScriptsTest, NothingReachesARealListenerOfAnotherUser)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "listening as another user needs root";
    }
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/setpriv"))
        || !QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
        GTEST_SKIP() << "needs /usr/bin/setpriv and /usr/bin/python3";
    }
    // Prints its port, then, once a connection brings "END", how many bytes the others brought.
    const QString listenerCode = QStringLiteral(R"(
import socket
s = socket.create_server(("127.0.0.1", 0))
print(s.getsockname()[1], flush=True)
heard = 0
while (data := (c := s.accept()[0]).recv(65536)) != b"END":
    heard += len(data)
    c.close()
print(heard)
)");
    QTemporaryDir root;
    const QByteArray body = R"({"session_id":"uid12345-z","tool_name":"Bash","tool_input":{"command":"ls"}})";
    // Our own user's listener is the check that the listener would have heard the script.
    for (const bool asOtherUser : { true, false }) {
        const QStringList python { QStringLiteral("/usr/bin/python3"), QStringLiteral("-I"), QStringLiteral("-c"),
            listenerCode };
        QProcess listener;
        listener.setWorkingDirectory(QStringLiteral("/"));
        if (asOtherUser) {
            listener.start(QStringLiteral("/usr/bin/setpriv"),
                QStringList {
                    QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups") }
                    + python);
        } else {
            listener.start(python.first(), python.mid(1));
        }
        ASSERT_TRUE(waitUntil([&] { return listener.canReadLine(); }, 10000));
        const quint16 port = listener.readLine().trimmed().toUShort();
        const ScriptRun run = runScript(QStringLiteral("permission-hook"), {}, body,
            environmentFor(port, root.path() + QStringLiteral("/murmeli")));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.output.isEmpty());

        QTcpSocket end;
        end.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(end.waitForConnected(5000));
        end.write("END");
        end.flush();
        ASSERT_TRUE(waitUntil([&] { return listener.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(listener.readAllStandardOutput().trimmed().toInt() > 0, !asOtherUser)
            << "another user: " << asOtherUser;
    }
}

TEST(HookScriptsTest, InputThatNeverEndsOrHoldsNulBytesIsReadQuietlyWithinItsLimit)
{
    QTemporaryDir root;
    const QByteArray body = QByteArray(R"({"session_id":"nul12345-q","model":{"display_name":"M)") + '\0' + R"(x"}})";
    QElapsedTimer elapsed;
    elapsed.start();
    const ScriptRun run = runScript(QStringLiteral("status-hook"), {}, body,
        environmentFor(unusedPort(), root.path() + QStringLiteral("/murmeli")), false);
    ASSERT_TRUE(run.finished);
    EXPECT_LT(elapsed.elapsed(), 15000);
    EXPECT_EQ(run.output, "murmeli · Mx\n");
    EXPECT_EQ(run.errors, QByteArray());
    EXPECT_EQ(test::readFile(root.path() + QStringLiteral("/murmeli/nul12345-status.json")),
        QByteArray(body).replace('\0', QByteArray()));
}

TEST(HookScriptsTest, PermissionScriptWaitsForTheLatestAnswerMurmeliGives)
{
    // murmeli answers a request, one queued behind others too, at the latest 55 s after it arrived; the agent stops
    // waiting for the hook at 60 s after its start. The answer comes 55 s after the script's start, which is no later
    // than 55 s after its arrival however long the script took to send it.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket* held = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, [&] { held = server.nextPendingConnection(); });
    QTemporaryDir root;
    QProcess process;
    process.setProcessEnvironment(environmentFor(server.serverPort(), root.path() + QStringLiteral("/murmeli")));
    QElapsedTimer sinceStart;
    sinceStart.start();
    process.start(QStringLiteral("/bin/bash"), { scripts + QStringLiteral("permission-hook") });
    process.write(R"({"session_id":"perm1234-a","tool_name":"Bash","tool_input":{"command":"ls"}})");
    process.closeWriteChannel();

    ASSERT_TRUE(waitUntil([&] { return held && sinceStart.elapsed() >= 55000; }, 60000));
    const QByteArray decision
        = R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})";
    held->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(decision.size()) + "\r\nConnection: close\r\n\r\n" + decision);
    held->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
    EXPECT_LT(sinceStart.elapsed(), 60000);
    EXPECT_EQ(process.readAllStandardOutput(), decision + '\n');
}

namespace {

// Another session's request, "tu-next", which waits behind the one on show.
void postNextRequest(test::HttpClient& client)
{
    const QByteArray next = R"({"session_id":"0ther000-s","tool_name":"Bash","tool_use_id":"tu-next",)"
                            R"("tool_input":{"command":"ls"}})";
    client.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(next.size())
        + "\r\n\r\n" + next);
}

} // namespace

// Closing a terminal hangs up the agent's whole process group, the permission hook's watcher with it; a hook run under
// a wrapper such as timeout(1) lives in a process group of its own; an agent whose parent does not reap it lingers as
// a zombie. In each case the agent's request ends as soon as the agent is gone, and the one queued behind it is shown.
TEST(HookScriptsTest, ARequestEndsWhenItsAgentsTerminalCloses)
{
    // The stand-in agent, in a process group of its own as a terminal's foreground job is: it runs the hook, then
    // waits. It prints its pid; its parent reaps it unless told not to.
    const QString standIn = QStringLiteral(R"(
        my ($how, $hook) = @ARGV;
        $| = 1;
        my $agent = fork() // die;
        if ($agent == 0) {
            setpgrp(0, 0);
            system($how eq 'wrapped' ? ('timeout', '60', 'sh', '-c', 'bash "$0"', $hook) : ('bash', $hook));
            sleep 600;
            exit 0;
        }
        print "$agent\n";
        waitpid($agent, 0) unless $how eq 'left unreaped';
        sleep 600;
    )");
    for (const char* how : { "plain", "wrapped", "left unreaped" }) {
        SCOPED_TRACE(how);
        RunningMurmeli murmeli;
        const quint16 port = test::ControllerProbe::hookServer(murmeli.controller).port();
        hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(murmeli.controller);
        QProcess agent;
        agent.setProcessEnvironment(environmentFor(port, murmeli.root.path() + QStringLiteral("/murmeli")));
        agent.start(QStringLiteral("perl"),
            { QStringLiteral("-e"), standIn, QLatin1String(how), scripts + QStringLiteral("permission-hook") });
        agent.write(R"({"session_id":"a9e47000-hup","tool_name":"Bash","tool_input":{"command":"make"}})");
        agent.closeWriteChannel();
        ASSERT_TRUE(waitUntil([&] { return agent.canReadLine(); }));
        const auto group = static_cast<pid_t>(agent.readLine().trimmed().toLongLong());
        ASSERT_GT(group, 1);
        const auto stop = qScopeGuard([&] {
            ::kill(-group, SIGKILL);
            agent.kill();
            agent.waitForFinished();
        });
        ASSERT_TRUE(waitUntil([&] { return table.hasActive(); }, 20000));
        test::HttpClient queued(port);
        postNextRequest(queued);
        ASSERT_TRUE(waitUntil([&] { return table.queueDepth() == 1; }));

        ASSERT_EQ(::kill(-group, SIGHUP), 0);
        EXPECT_TRUE(
            waitUntil([&] { return table.hasActive() && table.activeRequest()->toolUseId == "tu-next"; }, 3000));
        table.resolve(QStringLiteral("tu-next"), hooks::ApprovalDecision::deny());
        EXPECT_TRUE(queued.readUntilClosed().contains(R"("behavior":"deny")"));
    }
}

// The hook watches the session's own agent process whatever the agent's shape: an agent with a terminal that runs its
// hooks itself, or one whose hooks run under a background server without a terminal (Codex's shared one), where the
// session's own process is the one of the server's name with a terminal in the hook's folder. The request ends as
// soon as that process is gone, though a server runs on, and the one queued behind it shows.
TEST(HookScriptsTest, ARequestEndsWhenItsSessionsOwnAgentGoesWhateverRunsItsHooks)
{
    test::needTools({ "script", "setsid", "perl" });
    if (IsSkipped() || HasFailure()) {
        return;
    }
    QTemporaryDir work;
    // A stand-in agent: prints its pid, then runs the hook named (if any) on the body file, then waits.
    const QString standIn = work.path() + QStringLiteral("/agent.pl");
    QFile program(standIn);
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write(R"($| = 1; print "$$\n"; open(STDIN, '<', $ARGV[1]); system('bash', $ARGV[0]) if $ARGV[0] ne '-'; )"
                  R"(sleep 600;)");
    program.close();
    const QString body = work.path() + QStringLiteral("/body.json");
    QFile request(body);
    ASSERT_TRUE(request.open(QIODevice::WriteOnly));
    // The folder the agent names is where murmeli looks for the session's own process (its hook's folder before).
    request.write(QStringLiteral(R"({"session_id":"5e1f0000-own","cwd":"%1","tool_name":"Bash",)"
                                 R"("tool_input":{"command":"make"}})")
                      .arg(work.path())
                      .toUtf8());
    request.close();
    const QString hook = scripts + QStringLiteral("permission-hook");
    for (const bool underServer : { false, true }) {
        SCOPED_TRACE(underServer ? "its hooks run under a server" : "it runs its hooks itself");
        RunningMurmeli murmeli;
        const quint16 port = test::ControllerProbe::hookServer(murmeli.controller).port();
        hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(murmeli.controller);
        const QProcessEnvironment environment = environmentFor(port, murmeli.root.path() + QStringLiteral("/murmeli"));
        // The session's own agent, with a terminal of its own, in the folder.
        QProcess own;
        own.setWorkingDirectory(work.path());
        own.setProcessEnvironment(environment);
        own.start(QStringLiteral("script"),
            { QStringLiteral("-qfc"),
                QStringLiteral("perl %1 %2 %3").arg(standIn, underServer ? QStringLiteral("-") : hook, body),
                QStringLiteral("/dev/null") });
        ASSERT_TRUE(waitUntil([&] { return own.canReadLine(); }));
        const auto ownPid = static_cast<pid_t>(own.readLine().trimmed().toLongLong());
        ASSERT_GT(ownPid, 1);
        // The server: of the same name, in a session of its own without a terminal.
        QProcess server;
        server.setWorkingDirectory(work.path());
        server.setProcessEnvironment(environment);
        if (underServer) {
            server.start(QStringLiteral("setsid"), { QStringLiteral("perl"), standIn, hook, body });
        }
        const auto stop = qScopeGuard([&] {
            ::kill(ownPid, SIGKILL);
            for (QProcess* process : { &own, &server }) {
                process->kill();
                process->waitForFinished();
            }
        });
        ASSERT_TRUE(waitUntil([&] { return table.hasActive(); }, 20000));
        test::HttpClient queued(port);
        postNextRequest(queued);
        ASSERT_TRUE(waitUntil([&] { return table.queueDepth() == 1; }));
        // murmeli tells the session's own process from the server off its main thread, after the event came.
        ASSERT_TRUE(!underServer || waitUntil([&] {
            return murmeli.lines.contains(
                QStringLiteral("Sessions: 5e1f0000's agent is pid %1; its hooks run under pid "
                               "%2, which has no terminal")
                    .arg(ownPid)
                    .arg(server.processId()));
        })) << murmeli.lines.join(u'\n').toStdString();

        ASSERT_EQ(::kill(ownPid, SIGKILL), 0);
        EXPECT_TRUE(
            waitUntil([&] { return table.hasActive() && table.activeRequest()->toolUseId == "tu-next"; }, 3000));
        EXPECT_EQ(server.state(), underServer ? QProcess::Running : QProcess::NotRunning);
        table.resolve(QStringLiteral("tu-next"), hooks::ApprovalDecision::deny());
    }
}
