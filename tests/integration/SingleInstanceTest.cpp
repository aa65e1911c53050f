// The real murmeli started as a user's day starts it: from the desktop session, which has a runtime folder, and from
// ssh, `su -`, cron or a service, which have none. Each runs offscreen, on any free hook port and with a status folder
// of its own (MURMELI_PORT, MURMELI_STATUS_DIR), so that none takes the hook port from the other tests or meets their
// sessions.

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <memory>
#include <optional>
#include <vector>

#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "tests/support/OwnMurmeli.h"
#include "tests/support/Wait.h"

using murmeli::test::waitUntil;

namespace {

void launch(QProcess& murmeli, const QProcessEnvironment& environment, const QStringList& arguments = {})
{
    murmeli.setProcessEnvironment(environment);
    murmeli.start(QStringLiteral(MURMELI_BINARY), arguments);
}

// A hook connection that has sent an event and is left open, unread: its descriptor.
int connectedHook(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const QByteArray request = "POST /hook/PostToolUse HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    }
    return fd;
}

void stop(QProcess& murmeli)
{
    murmeli.terminate();
    if (!murmeli.waitForFinished(15000)) {
        murmeli.kill();
        murmeli.waitForFinished(5000);
    }
}

} // namespace

// Whichever start comes first or whether both come at once, and whatever home the second start has (another, or
// none), exactly one murmeli runs; the other hands over to it (its settings window comes forward), says so and ends
// with 0; and a setting the user made survives both.
TEST(SingleInstanceTest, OneMurmeliRunsPerUserWhateverEachStartsEnvironment)
{
    enum class Home { Same, Other, None };
    struct Row {
        bool firstFromDesktop;
        bool secondFromDesktop;
        bool atOnce;
        Home secondHome = Home::Same;
    };
    std::vector<Row> rows { { true, false, false }, { false, true, false }, { false, false, false, Home::Other },
        { true, false, false, Home::None } };
    for (int pair = 0; pair < 10; ++pair) {
        rows.push_back({ pair % 3 != 1, pair % 3 == 0, true });
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(QStringLiteral("%1 from the %2, the other from the %3%4")
                         .arg(row.atOnce ? QStringLiteral("both at once, one") : QStringLiteral("first"),
                             row.firstFromDesktop ? QStringLiteral("desktop") : QStringLiteral("shell"),
                             row.secondFromDesktop ? QStringLiteral("desktop") : QStringLiteral("shell"),
                             row.secondHome == Home::Other      ? QStringLiteral(" with another home")
                                 : row.secondHome == Home::None ? QStringLiteral(" without a home")
                                                                : QString())
                         .toStdString());
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".config/murmeli")));
        ASSERT_TRUE(
            QDir().mkdir(home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString defaultsPath = home.filePath(QStringLiteral(".config/murmeli/defaults.json"));
        QFile defaults(defaultsPath);
        ASSERT_TRUE(defaults.open(QIODevice::WriteOnly)
            && defaults.write(R"({"onboarding.v1.completed": true, "settings.voice.aiOptimization": false})") > 0);
        defaults.close();

        QProcessEnvironment shell = QProcessEnvironment::systemEnvironment();
        shell.insert(QStringLiteral("HOME"), home.path());
        shell.remove(QStringLiteral("XDG_CONFIG_HOME"));
        shell.remove(QStringLiteral("XDG_DATA_HOME"));
        shell.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        shell.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        shell.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        // The status folder and the hook port of the test's own, whichever start runs.
        shell.insert(QStringLiteral("MURMELI_STATUS_DIR"), home.filePath(QStringLiteral("status")));
        shell.insert(QStringLiteral("MURMELI_PORT"), QStringLiteral("0"));
        // The lock every start of the user finds, kept apart from the tester's own murmeli.
        QTemporaryDir user;
        shell.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), user.path());
        QProcessEnvironment desktop = shell;
        desktop.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        QProcessEnvironment second = row.secondFromDesktop ? desktop : shell;
        QTemporaryDir otherHome;
        if (row.secondHome == Home::Other) {
            second.insert(QStringLiteral("HOME"), otherHome.path());
        } else if (row.secondHome == Home::None) {
            second.remove(QStringLiteral("HOME"));
            // Should it run after all, its files stay in the test's folders.
            second.insert(QStringLiteral("XDG_CONFIG_HOME"), otherHome.filePath(QStringLiteral("config")));
            second.insert(QStringLiteral("XDG_DATA_HOME"), otherHome.filePath(QStringLiteral("data")));
        }

        std::array<QProcess, 2> starts;
        std::array<QByteArray, 2> logs;
        const auto cleanup = qScopeGuard([&] {
            for (QProcess& start : starts) {
                stop(start);
            }
        });
        const auto log
            = [&](int which) { return QString::fromUtf8(logs[which] += starts[which].readAllStandardError()); };
        launch(starts[0], row.firstFromDesktop ? desktop : shell);
        if (!row.atOnce) {
            ASSERT_TRUE(waitUntil([&] { return log(0).contains(QStringLiteral("murmeli ready")); }, 30000))
                << log(0).toStdString();
        }
        launch(starts[1], second);

        const auto ended = [&](int which) { return starts[which].state() == QProcess::NotRunning; };
        ASSERT_TRUE(waitUntil([&] { return ended(0) || ended(1); }, 30000)) << "both run";
        const int gone = ended(0) ? 0 : 1;
        const int running = 1 - gone;
        EXPECT_TRUE(row.atOnce || gone == 1);
        EXPECT_EQ(starts[gone].exitCode(), 0) << log(gone).toStdString();
        EXPECT_TRUE(log(gone).isEmpty()) << "the hand-over says one line, and nothing else: "
                                         << log(gone).toStdString();
        EXPECT_EQ(starts[gone].readAllStandardOutput().toStdString(),
            "murmeli is already running; asked it to show its settings window\n");
        EXPECT_TRUE(
            waitUntil([&] { return log(running).contains(QStringLiteral("murmeli was started again")); }, 20000))
            << log(running).toStdString();
        EXPECT_FALSE(ended(running)) << log(running).toStdString();

        // What asks nothing of murmeli itself is never held up by the one running.
        QProcess version;
        launch(version, second, { QStringLiteral("--version") });
        EXPECT_TRUE(version.waitForFinished(10000) && version.exitCode() == 0);

        stop(starts[running]);
        ASSERT_TRUE(defaults.open(QIODevice::ReadOnly));
        const QJsonObject stored = QJsonDocument::fromJson(defaults.readAll()).object();
        defaults.close();
        EXPECT_EQ(stored.value(QStringLiteral("settings.voice.aiOptimization")), QJsonValue(false));
        if (HasFailure()) {
            return;
        }
    }
}

// A restart as a script, an update or a session manager makes it, `kill <murmeli>; murmeli &`: the new start finds
// the old murmeli still ending, which takes no request, waits for it to be gone and runs. After each of ten, one
// murmeli runs (where the old one took the request, about every other restart left none).
TEST(SingleInstanceTest, ARestartByKillAndStartLeavesOneMurmeliRunning)
{
    QTemporaryDir folder;
    const std::optional<QProcessEnvironment> environment = murmeli::test::ownMurmeliEnvironment(folder.path());
    ASSERT_TRUE(environment);
    std::vector<std::unique_ptr<QProcess>> starts;
    QByteArray log;
    const auto cleanup = qScopeGuard([&] {
        for (auto& start : starts) {
            stop(*start);
        }
    });
    // Starts murmeli once more; whether it runs, once it either runs or has ended.
    const auto startOne = [&] {
        QProcess& start = *starts.emplace_back(std::make_unique<QProcess>());
        log.clear();
        start.setProcessChannelMode(QProcess::MergedChannels);
        launch(start, *environment);
        waitUntil(
            [&] {
                log += start.readAll();
                return start.state() == QProcess::NotRunning || log.contains("murmeli ready");
            },
            30000);
        return start.state() == QProcess::Running;
    };
    ASSERT_TRUE(startOne()) << log.constData();
    for (int restart = 1; restart <= 10; ++restart) {
        QProcess& old = *starts.back();
        // An agent's hook that has its answer but keeps its connection open gives the ending murmeli its last
        // connections to close, and a later start arriving meanwhile must not be answered by it.
        ASSERT_TRUE(waitUntil([&] { return (log += old.readAll(), murmeli::test::hookPortIn(log) != 0); }, 15000));
        const int hook = connectedHook(murmeli::test::hookPortIn(log));
        const auto closeHook = qScopeGuard([hook] { ::close(hook); });
        ::kill(pid_t(old.processId()), SIGTERM);
        const bool runs = startOne();
        ASSERT_TRUE(waitUntil([&] { return old.state() == QProcess::NotRunning; }, 15000))
            << "the old murmeli did not end";
        ASSERT_TRUE(runs) << "restart " << restart << " left no murmeli running: " << log.constData();
    }
}

// A session manager restores murmeli at login beside its autostart entry, with "-session ID": the murmeli already
// running stays as it is (no window is opened at the user), and the restore ends quietly.
TEST(SingleInstanceTest, ASessionManagersRestoreLeavesTheRunningOneAsItIs)
{
    QTemporaryDir folder;
    const std::optional<QProcessEnvironment> environment = murmeli::test::ownMurmeliEnvironment(folder.path());
    ASSERT_TRUE(environment);
    QProcess running;
    const auto cleanup = qScopeGuard([&] { stop(running); });
    QByteArray log;
    const auto logged = [&](const char* line) { return (log += running.readAllStandardError()).contains(line); };
    launch(running, *environment);
    ASSERT_TRUE(waitUntil([&] { return logged("murmeli ready"); }, 30000)) << log.constData();
    for (const QStringList& arguments :
        { QStringList { "-session", "10d2a8f7e1000170188471400000025870011_1702041234_123456" },
            QStringList { "settings", "-session", "x" } }) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        QProcess restore;
        launch(restore, *environment, arguments);
        ASSERT_TRUE(restore.waitForFinished(15000));
        EXPECT_EQ(restore.exitCode(), 0);
        EXPECT_EQ(restore.readAll().toStdString(), "") << "a restore ends quietly";
        EXPECT_TRUE(waitUntil([&] { return logged("a session manager started murmeli again"); }, 10000))
            << log.constData();
    }
    EXPECT_FALSE(logged("showing this one")) << log.constData();
    EXPECT_EQ(running.state(), QProcess::Running);
}

// A second start from ssh, `su -` or cron: another home and no runtime folder, and without the tests' instance
// folder, as a user's own starts are. It finds the first through the lock in the home the user database gives the
// user, which here is a folder of the test's (the user's real home, and their own murmeli, are never reached).
TEST(SingleInstanceTest, AStartWithAnotherHomeAndNoRuntimeFolderFindsTheFirstThroughTheUsersAccount)
{
    QTemporaryDir account;
    const auto cannotRun = [](const std::string& why) {
        if (qEnvironmentVariableIsSet("MURMELI_CI")) {
            FAIL() << why;
        }
        GTEST_SKIP() << why;
    };
    // Never run without the folder in place of the user's home: the lock there is the tester's own murmeli's.
    QProcessEnvironment preload = QProcessEnvironment::systemEnvironment();
    preload.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(MURMELI_ACCOUNT_HOME_LIBRARY));
    preload.insert(QStringLiteral("MURMELI_TEST_ACCOUNT_HOME"), account.path());
    QProcess lookUp;
    lookUp.setProcessEnvironment(preload);
    lookUp.start(QStringLiteral("python3"),
        { QStringLiteral("-c"), QStringLiteral("import os, pwd; print(pwd.getpwuid(os.getuid()).pw_dir)") });
    if (!lookUp.waitForFinished(10000) || lookUp.readAllStandardOutput().trimmed() != account.path().toUtf8()) {
        return cannotRun("the user database's home cannot be pointed at a folder of the test's here");
    }
    std::array<QTemporaryDir, 2> folders;
    std::array<QProcess, 2> starts;
    std::array<QByteArray, 2> logs;
    const auto cleanup = qScopeGuard([&] {
        for (QProcess& start : starts) {
            stop(start);
        }
    });
    for (int which = 0; which < 2; ++which) {
        std::optional<QProcessEnvironment> environment
            = murmeli::test::ownMurmeliEnvironment(folders[which].path(), preload);
        ASSERT_TRUE(environment);
        environment->remove(QStringLiteral("MURMELI_INSTANCE_DIR"));
        environment->remove(QStringLiteral("XDG_RUNTIME_DIR"));
        launch(starts[which], *environment);
        if (which == 0) {
            ASSERT_TRUE(waitUntil(
                [&] { return (logs[0] += starts[0].readAllStandardError()).contains("murmeli ready"); }, 30000))
                << logs[0].constData();
        }
    }
    ASSERT_TRUE(starts[1].waitForFinished(20000)) << "both run";
    EXPECT_EQ(starts[1].exitCode(), 0);
    EXPECT_EQ(starts[1].readAllStandardOutput().toStdString(),
        "murmeli is already running; asked it to show its settings window\n");
    EXPECT_TRUE(waitUntil(
        [&] { return (logs[0] += starts[0].readAllStandardError()).contains("murmeli was started again"); }, 10000))
        << logs[0].constData();
    EXPECT_TRUE(QFileInfo::exists(account.filePath(QStringLiteral(".murmeli/run/instance.lock"))));
}

// A start that finds the lock held by a murmeli that has not finished starting, or ending, says in one line that it
// waits, rather than seem hung for as long as it waits; it runs once the lock is let go.
TEST(SingleInstanceTest, AStartThatWaitsForTheLockSaysSoInOneLine)
{
    QTemporaryDir folder;
    const auto environment = murmeli::test::ownMurmeliEnvironment(folder.path());
    ASSERT_TRUE(environment);
    // Held as a murmeli holds it that names no socket yet.
    QFile lock(folder.filePath(QStringLiteral("instance/instance.lock")));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(lock.handle(), LOCK_EX | LOCK_NB), 0);

    QProcess waiting;
    const auto ended = qScopeGuard([&] { stop(waiting); });
    launch(waiting, *environment);
    QByteArray said;
    const auto hear = [&] {
        said += waiting.readAllStandardError();
        return said;
    };
    EXPECT_TRUE(waitUntil([&] { return hear().contains("waiting up to"); })) << said.constData();
    lock.close();
    EXPECT_TRUE(waitUntil([&] { return murmeli::test::hookPortIn(hear()) != 0; }, 30000)) << said.constData();
    EXPECT_EQ(said.count("waiting up to"), 1) << said.constData();
}
