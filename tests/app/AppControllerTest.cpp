#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <unistd.h>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "platform/secrets/file/FileSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpClient.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

struct LogLine {
    QString message;
    common::LogColor color;
};

bool hasLine(const QList<LogLine>& lines, const QString& message)
{
    return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.message == message; });
}

} // namespace

TEST(AppControllerTest, BackendServesHookEventsWithTheStoredSecret)
{
    auto secrets = std::make_shared<platform::FakeSecretStore>();
    secrets->save(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), "tok");
    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };

    controller.startBackend(QStringLiteral("/usr/bin/murmeli"));
    ASSERT_TRUE(test::ControllerProbe::hookServer(controller).isRunning());
    const quint16 port = test::ControllerProbe::hookServer(controller).port();
    EXPECT_TRUE(test::ControllerProbe::hookServer(controller).authEnforced());

    const QByteArray reply = test::postHook(
        port, QStringLiteral("/hook/Stop"), R"({"session_id":"abcdef123456"})", "Authorization: Bearer tok\r\n");
    EXPECT_EQ(reply, test::expectedReply(200, "OK", "{\"ok\":true}"));
    ASSERT_TRUE(test::waitUntil([&] { return hasLine(lines, QStringLiteral("Hook: Stop")); }));
    EXPECT_TRUE(hasLine(lines, QStringLiteral("Sessions: 1 active [abcdef12]")));
    ASSERT_EQ(test::ControllerProbe::sessionRegistry(controller).sessions().size(), 1u);
    EXPECT_TRUE(test::ControllerProbe::sessionRegistry(controller).sessions().front().inMemoryOnly);
    EXPECT_TRUE(hasLine(lines, QStringLiteral("HookServer: listening on 127.0.0.1:%1 (auth enforced)").arg(port)));

    // A second start changes nothing.
    controller.startBackend(QStringLiteral("/usr/bin/murmeli"));
    EXPECT_EQ(test::ControllerProbe::hookServer(controller).port(), port);
}

TEST(AppControllerTest, ListenerFailureIsLoggedInRed)
{
    auto secrets = std::make_shared<platform::FakeSecretStore>();
    QTemporaryDir root;
    app::AppController first(test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
    first.startBackend(QString());
    ASSERT_TRUE(test::ControllerProbe::hookServer(first).isRunning());

    app::AppController second(test::controllerDependencies(
        root, secrets, std::make_shared<common::SystemClock>(), test::ControllerProbe::hookServer(first).port()));
    QList<LogLine> lines;
    second.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    second.startBackend(QString());
    const auto failed = [&] {
        return std::find_if(lines.begin(), lines.end(),
            [](const LogLine& l) { return l.message.startsWith(QStringLiteral("HookServer: failed")); });
    };
    ASSERT_TRUE(test::waitUntil([&] { return failed() != lines.end(); }));
    EXPECT_EQ(failed()->color, common::LogColor::Red);
}

// Another program on the hook port: murmeli runs on without its hook server, and says which port is taken and what to
// do, in the log and once under the strip; nothing retries. A free port says nothing of the kind.
TEST(AppControllerTest, ATakenPortIsNamedInTheLogAndOnceUnderTheStrip)
{
    for (const bool taken : { true, false }) {
        SCOPED_TRACE(taken ? "port taken" : "port free");
        QTcpServer holder;
        ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
        const quint16 number = holder.serverPort();
        const QString port = QString::number(number);
        if (!taken) {
            holder.close();
        }
        QTemporaryDir root;
        auto clock = std::make_shared<test::FakeClock>();
        app::AppController controller(
            test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock, number));
        QList<LogLine> lines;
        controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
        controller.startBackend(QString());
        const hooks::HookServer& server = test::ControllerProbe::hookServer(controller);
        const notch::PanelViewModel& vm = controller.vm();
        EXPECT_EQ(server.isRunning(), !taken);
        ASSERT_TRUE(test::waitUntil([&] {
            return std::any_of(lines.begin(), lines.end(),
                [](const LogLine& l) { return l.message.startsWith(QStringLiteral("HookServer: ")); });
        }));
        const auto named = std::find_if(lines.begin(), lines.end(), [&](const LogLine& l) {
            return l.message.contains(QStringLiteral("127.0.0.1:") + port + QLatin1Char(' '));
        });
        if (!taken) {
            EXPECT_TRUE(vm.modeBHintText().isEmpty());
            EXPECT_TRUE(named != lines.end() && named->message.contains(QStringLiteral("listening")))
                << lines.first().message.toStdString();
            continue;
        }
        ASSERT_TRUE(named != lines.end()) << lines.last().message.toStdString();
        EXPECT_TRUE(named->message.startsWith(QStringLiteral("HookServer: failed — "))) << named->message.toStdString();
        EXPECT_TRUE(named->message.contains(
            QStringLiteral("Quit that murmeli or the program on port %1, then start murmeli again").arg(port)))
            << named->message.toStdString();
        EXPECT_EQ(named->color, common::LogColor::Red);
        EXPECT_TRUE(vm.modeBHintIsNotice());
        EXPECT_TRUE(vm.modeBHintText().contains(QStringLiteral("port ") + port)) << vm.modeBHintText().toStdString();
        EXPECT_TRUE(vm.modeBHintText().endsWith(QStringLiteral("then start murmeli again")));

        // Once, for longer than a clipboard hint, so that it can be read; with the port free again nothing starts
        // listening by itself.
        holder.close();
        clock->advance(notch::PanelViewModel::modeBHintMs);
        EXPECT_FALSE(vm.modeBHintText().isEmpty()) << "the notice went before it could be read";
        clock->advance(notch::PanelViewModel::noticeMs - notch::PanelViewModel::modeBHintMs);
        EXPECT_TRUE(vm.modeBHintText().isEmpty());
        clock->advance(60000);
        QCoreApplication::processEvents();
        EXPECT_FALSE(server.isRunning());
        EXPECT_TRUE(vm.modeBHintText().isEmpty());
    }
}

// A hook secret file that murmeli cannot use keeps every hook event out; the log and the line under the strip say
// which file and what is wrong with it, or the user only sees the agents go quiet.
TEST(AppControllerTest, AStoredSecretThatCannotBeUsedIsNamedInTheLogAndUnderTheStrip)
{
    QTemporaryDir root;
    const QString directory = root.path() + QStringLiteral("/secrets");
    const QString file = directory + QLatin1Char('/') + QLatin1String(platform::KeychainStore::hookAuthService)
        + QStringLiteral(".secret");
    ASSERT_TRUE(QDir().mkpath(directory));
    {
        QFile stored(file);
        ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
        stored.write(QByteArray::fromHex("8f3ac1ffe0017b9d"));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    app::AppController::Dependencies dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<test::FakeClock>());
    dependencies.hookSecrets = std::make_shared<platform::FileSecretStore>(directory);
    app::AppController controller(std::move(dependencies));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());
    EXPECT_TRUE(test::ControllerProbe::hookServer(controller).authEnforced());

    const QString said = file + QStringLiteral(" is not UTF-8 text");
    const auto named
        = std::find_if(lines.begin(), lines.end(), [&](const LogLine& l) { return l.message.contains(file); });
    ASSERT_TRUE(named != lines.end());
    EXPECT_TRUE(named->message.contains(said)) << named->message.toStdString();
    EXPECT_EQ(named->color, common::LogColor::Red);
    EXPECT_TRUE(controller.vm().modeBHintIsNotice());
    EXPECT_TRUE(controller.vm().modeBHintText().contains(said)) << controller.vm().modeBHintText().toStdString();
}

TEST(AppControllerTest, UnreadableDefaultsFileIsLoggedOnceAtStart)
{
    QTemporaryDir root;
    const QString file = root.path() + QStringLiteral("/defaults.json");
    {
        QFile corrupt(file);
        ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
        corrupt.write("{ not json");
    }
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());

    const auto isDefaultsLine = [](const LogLine& l) { return l.message.startsWith("[diag] startup: defaults"); };
    ASSERT_EQ(std::count_if(lines.begin(), lines.end(), isDefaultsLine), 1);
    const LogLine& line = *std::find_if(lines.begin(), lines.end(), isDefaultsLine);
    EXPECT_TRUE(line.message.contains(file + QStringLiteral(" is not valid JSON"))) << line.message.toStdString();
    EXPECT_TRUE(line.message.contains(file + QStringLiteral(".corrupt")));
    EXPECT_EQ(line.color, common::LogColor::Orange);
}

TEST(AppControllerTest, StatusDirectoryOthersMayWriteToIsSetBackAndLoggedOnce)
{
    QTemporaryDir root;
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
    const QByteArray dir = QFile::encodeName(dependencies.statusDirectory);
    ASSERT_TRUE(QDir().mkpath(dependencies.statusDirectory));
    ASSERT_EQ(::chmod(dir.constData(), 0777), 0);
    app::AppController controller(std::move(dependencies));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());
    controller.sessions().syncSessions();

    const auto isRepairLine = [](const LogLine& l) { return l.message.contains("set back to 0700"); };
    ASSERT_EQ(std::count_if(lines.begin(), lines.end(), isRepairLine), 1);
    EXPECT_EQ(std::find_if(lines.begin(), lines.end(), isRepairLine)->color, common::LogColor::Orange);
    struct stat info { };
    ASSERT_EQ(::lstat(dir.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(AppControllerTest, StatusIsNotReadThroughARefusedDirectory)
{
    QTemporaryDir root;
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    for (const char* name : { "/status.json", "/abcd1234-status.json" }) {
        QFile status(elsewhere + QLatin1String(name));
        ASSERT_TRUE(status.open(QIODevice::WriteOnly));
        status.write(R"({"session_id":"abcd1234-x","model":{"display_name":"M"}})");
    }
    ASSERT_TRUE(QFile::link(elsewhere, dependencies.statusDirectory));
    app::AppController controller(std::move(dependencies));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());

    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const LogLine& l) {
        return l.message.contains("status directory refused") && l.color == common::LogColor::Red;
    }));
    EXPECT_FALSE(controller.sessions().syncSessions());
    EXPECT_TRUE(test::ControllerProbe::sessionRegistry(controller).sessions().empty());
}

TEST(AppControllerTest, AFloodOfHookEventsWhileTheMainThreadIsBusyIsHandledWhole)
{
    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QStringLiteral("/usr/bin/murmeli"));
    const quint16 port = test::ControllerProbe::hookServer(controller).port();

    // Twelve sessions post ten tool events each, every one with a large tool output: together more than murmeli
    // hands to its main thread at once, and the main thread takes none of them while they come.
    constexpr int sessions = 12;
    constexpr int steps = 10;
    const QByteArray output(100 * 1024, 'o');
    std::vector<int> clients;
    for (int step = 0; step < steps; ++step) {
        for (int s = 0; s < sessions; ++s) {
            const QByteArray body = QStringLiteral(R"({"session_id":"flood%1-0000","cwd":"/home/dev/p%1",)"
                                                   R"("tool_name":"Bash","tool_input":{"command":"make step-%2"},)"
                                                   R"("tool_response":{"stdout":")")
                                        .arg(s, 3, 10, QLatin1Char('0'))
                                        .arg(step)
                                        .toUtf8()
                + output + "\"}}";
            const QByteArray request = "POST /hook/PostToolUse HTTP/1.1\r\nContent-Length: "
                + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            const int fd = test::connectLoopback(port);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::send(fd, request.constData(), request.size(), MSG_NOSIGNAL), request.size());
            clients.push_back(fd);
        }
    }
    // The server has read them all; those that found no room in the hand-over wait for the main thread.
    const hooks::HookServer& server = test::ControllerProbe::hookServer(controller);
    for (QDeadlineTimer deadline(30000);
         server.totalEventCount() + server.waitingEventCount() < sessions * steps && !deadline.hasExpired();) {
        QThread::usleep(1000);
    }
    ASSERT_EQ(server.totalEventCount() + server.waitingEventCount(), sessions * steps);
    EXPECT_GT(server.waitingEventCount(), 0);
    const auto answered = [&] {
        return std::all_of(clients.begin(), clients.end(), [](int fd) {
            pollfd ready { fd, POLLIN, 0 };
            return ::poll(&ready, 1, 0) == 1;
        });
    };
    ASSERT_TRUE(test::waitUntil(answered, 30000));
    EXPECT_EQ(server.waitingEventCount(), 0);
    // Every event is acknowledged and handled: none is turned away for the main thread having been busy.
    const QByteArray ok = test::expectedReply(200, "OK", "{\"ok\":true}");
    for (const int fd : clients) {
        char reply[256] = {};
        EXPECT_EQ(QByteArray(reply, int(::recv(fd, reply, sizeof reply, MSG_WAITALL))), ok);
        ::close(fd);
    }
    ASSERT_TRUE(test::waitUntil([&] {
        return std::count_if(lines.begin(), lines.end(), [](const LogLine& l) {
            return l.message == QLatin1String("Hook: PostToolUse");
        }) == sessions * steps;
    }));
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [](const LogLine& l) { return l.message.contains("503"); }));
    // What the sessions' activity files hold once the flood has been taken in: each session's own last command.
    ASSERT_TRUE(test::waitUntil([&] {
        return QDir(root.path() + QStringLiteral("/murmeli"))
                   .entryList({ QStringLiteral("flood*-activity.json") })
                   .size()
            == sessions;
    }));
    EXPECT_EQ(test::ControllerProbe::sessionRegistry(controller).sessions().size(), std::size_t(sessions));
    for (int s = 0; s < sessions; ++s) {
        QFile activity(root.path() + QStringLiteral("/murmeli/flood%1-activity.json").arg(s, 3, 10, QLatin1Char('0')));
        ASSERT_TRUE(activity.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(activity.readAll());
        EXPECT_TRUE(text.contains(QStringLiteral("make step-"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("p%1").arg(s, 3, 10, QLatin1Char('0')))) << text.toStdString();
    }
}

// A killed agent sends no SessionEnd. Its session's events named its process, the way murmeli's hook scripts name
// their agent: once that process is gone, the next poll ends the session and what it still asks, which nobody is left
// to answer.
TEST(AppControllerTest, ASessionEndsWithItsAgentProcessAndSoDoesTheRequestItHolds)
{
    enum class Fate { Killed, LeftUnreaped, Running };
    const struct {
        const char* name;
        Fate fate;
        bool named;
        bool ends;
    } cases[] = {
        { "killed", Fate::Killed, true, true },
        { "killed and left a zombie by its parent", Fate::LeftUnreaped, true, true },
        { "still running", Fate::Running, true, false },
        { "killed, but its events never named it", Fate::Killed, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        app::AppController controller(test::controllerDependencies(
            root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<test::FakeClock>()));
        QList<LogLine> lines;
        controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
        controller.startBackend(QString());
        const quint16 port = test::ControllerProbe::hookServer(controller).port();

        // The stand-in agent; as a zombie it is the child of a parent that never reaps it.
        QProcess agent;
        agent.start(QStringLiteral("sh"),
            { QStringLiteral("-c"),
                c.fate == Fate::LeftUnreaped ? QStringLiteral("sleep 600 & echo $!; exec sleep 600")
                                             : QStringLiteral("echo $$; exec sleep 600") });
        ASSERT_TRUE(agent.waitForStarted());
        ASSERT_TRUE(test::waitUntil([&] { return agent.canReadLine(); }));
        const auto pid = static_cast<pid_t>(agent.readLine().trimmed().toLongLong());
        const std::optional<hooks::AgentProcessId> process = hooks::AgentProcessId::ofPid(pid);
        ASSERT_TRUE(process);
        const QByteArray named = c.named ? "x-murmeli-agent-process: " + QByteArray::number(process->pid) + ' '
                + QByteArray::number(process->startTicks) + "\r\n"
                                         : QByteArray();
        EXPECT_EQ(test::postHook(port, QStringLiteral("/hook/SessionStart"),
                      R"({"session_id":"a9e47000-1111","cwd":"/home/dev/alpha"})", named),
            test::expectedReply(200, "OK", "{\"ok\":true}"));
        const QByteArray ask = R"({"session_id":"a9e47000-1111","tool_name":"Bash","tool_input":{"command":"make"}})";
        test::HttpClient held(port);
        held.write("POST /hook/PermissionRequest HTTP/1.1\r\n" + named
            + "Content-Length: " + QByteArray::number(ask.size()) + "\r\n\r\n" + ask);
        hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(controller);
        ASSERT_TRUE(test::waitUntil([&] { return table.hasActive(); }));

        if (c.fate != Fate::Running) {
            ::kill(pid, SIGKILL);
            ASSERT_TRUE(test::waitUntil([&] { return test::processGone(pid); }));
        }
        controller.sessions().syncSessions();
        const auto key = hooks::SessionKey::fromFileKey(QStringLiteral("a9e47000"));
        EXPECT_EQ(test::ControllerProbe::sessionRegistry(controller).contains(*key), !c.ends);
        EXPECT_EQ(table.hasActive(), !c.ends);
        EXPECT_EQ(
            hasLine(lines, QStringLiteral("Sessions: a9e47000 ended: its agent (pid %1) is gone").arg(pid)), c.ends);
        if (c.ends) {
            EXPECT_EQ(held.readUntilClosed(), test::expectedReply(200, "OK", "{}"));
        }
        agent.kill();
        agent.waitForFinished();
    }
}

// A closed window takes its agent, and its session with it; `codex resume` then runs the same session in a new agent
// process and sends no SessionStart. An event of a running agent brings the session back with the card of what it
// asks; a late event of an agent that has exited brings back nothing, after its own SessionEnd too, and what it asks
// is let go at once rather than held where no card shows it.
TEST(AppControllerTest, AnEndedSessionComesBackWithARunningAgentAndNoRequestWaitsWithoutACard)
{
    const struct {
        const char* name;
        bool saidItEnded; // its agent sent SessionEnd before it exited
        bool resumed; // else its gone agent's late request
    } cases[] = {
        { "window closed, then resumed", false, true },
        { "window closed, then a late request", false, false },
        { "ended by its agent, then resumed", true, true },
        { "ended by its agent, then a late request", true, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        app::AppController controller(test::controllerDependencies(
            root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<test::FakeClock>()));
        controller.startBackend(QString());
        const quint16 port = test::ControllerProbe::hookServer(controller).port();
        hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(controller);
        // The stand-in agents, each named the way murmeli's hook scripts name theirs.
        std::vector<std::unique_ptr<QProcess>> agents;
        // A resumed one names its session among its arguments, which proves it the session's own.
        const auto startAgent = [&](const QStringList& resumes = {}) -> QByteArray {
            auto& agent = agents.emplace_back(std::make_unique<QProcess>());
            agent->start(QStringLiteral("sh"),
                QStringList { QStringLiteral("-c"), QStringLiteral("echo $$; read -r line"), QStringLiteral("sh") }
                    + resumes);
            EXPECT_TRUE(agent->waitForStarted() && test::waitUntil([&] { return agent->canReadLine(); }));
            const auto process = hooks::AgentProcessId::ofPid(agent->readLine().trimmed().toLongLong());
            return process ? "x-murmeli-agent-process: " + QByteArray::number(process->pid) + ' '
                    + QByteArray::number(process->startTicks) + "\r\n"
                           : QByteArray();
        };
        const QByteArray first = startAgent();
        const QByteArray session = R"("session_id":"a9e47000-1111","cwd":"/home/dev/alpha")";
        const auto key = hooks::SessionKey::fromFileKey(QStringLiteral("a9e47000"));
        const auto listed = [&] { return test::ControllerProbe::sessionRegistry(controller).contains(*key); };
        // The reply comes before the event is taken in: each is waited for.
        test::postHook(port, QStringLiteral("/hook/SessionStart"), "{" + session + "}", first);
        ASSERT_TRUE(test::waitUntil(listed));
        if (c.saidItEnded) {
            test::postHook(port, QStringLiteral("/hook/SessionEnd"), "{" + session + "}", first);
            ASSERT_TRUE(test::waitUntil([&] { return !listed(); }));
        }
        agents.front()->kill();
        agents.front()->waitForFinished();
        controller.sessions().syncSessions();
        ASSERT_FALSE(listed());

        const QByteArray named
            = c.resumed ? startAgent({ QStringLiteral("resume"), QStringLiteral("a9e47000-1111") }) : first;
        test::postHook(port, QStringLiteral("/hook/UserPromptSubmit"), "{" + session + "}", named);
        const QByteArray ask = "{" + session + R"(,"tool_name":"Bash","tool_input":{"command":"make"}})";
        test::HttpClient held(port);
        held.write("POST /hook/PermissionRequest HTTP/1.1\r\n" + named
            + "Content-Length: " + QByteArray::number(ask.size()) + "\r\n\r\n" + ask);
        ASSERT_TRUE(test::waitUntil([&] { return table.hasActive() || held.closedByServer(); }));
        const QList<notch::SessionRow> rows = controller.vm().sessions();
        const bool card = std::any_of(rows.cbegin(), rows.cend(),
            [](const notch::SessionRow& row) { return row.sid == QLatin1String("a9e47000") && row.approval; });
        EXPECT_EQ(card, c.resumed) << "the card of the request";
        EXPECT_EQ(table.hasActive(), c.resumed) << "the request is held";
        if (!c.resumed) {
            // The agent gets its own prompt back without waiting out the time-out; the test's clock never moves.
            EXPECT_EQ(held.readUntilClosed().toStdString(), test::expectedReply(200, "OK", "{}").toStdString());
        }
        controller.sessions().syncSessions();
        EXPECT_EQ(listed(), c.resumed) << "at the next poll";
        for (const auto& agent : agents) {
            agent->kill();
            agent->waitForFinished();
        }
    }
}
