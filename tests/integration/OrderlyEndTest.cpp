// The real murmeli ended the ways a desktop ends it, with agents' permission requests held: a logout or `kill`
// (SIGTERM, once or twice), Ctrl+C in its terminal (SIGINT), its terminal closed (SIGHUP), and its X server gone;
// and what arrives while it ends. Each murmeli has a home, an instance folder, a status folder and a hook port of its
// own, so that none reaches the tester's own murmeli.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <csignal>
#include <future>
#include <netinet/in.h>
#include <optional>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "tests/integration/HookScriptRig.h"
#include "tests/support/OwnMurmeli.h"
#include "tests/support/StallingMount.h"
#include "tests/support/Wait.h"

using murmeli::test::waitUntil;

namespace {

// Why a row cannot run here: under CI that fails it, elsewhere it is kept for the test's skip.
void cannotRun(QStringList& reasons, const QString& why)
{
    if (qEnvironmentVariableIsSet("MURMELI_CI")) {
        ADD_FAILURE() << why.toStdString();
    } else {
        reasons.append(why);
    }
}

// A display of the test's own, which the test can take away; empty when none could be started.
std::optional<QString> startDisplay(QProcess& server)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        return std::nullopt;
    }
    server.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    if (!waitUntil([&] { return server.canReadLine() || server.state() == QProcess::NotRunning; }, 15000)
        || !server.canReadLine()) {
        return std::nullopt;
    }
    return QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed());
}

// What an agent's hook met: its reply's body, a refused connection (the hook takes murmeli for gone), or a cut one:
// no reply, or a reset, which is what the agents must never meet.
struct Met {
    enum { Answered, Refused, Cut } how = Cut;
    QByteArray body;
};

Met post(quint16 port, const QByteArray& event, const QByteArray& body)
{
    Met met;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit { 60, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        met.how = errno == ECONNREFUSED ? Met::Refused : Met::Cut;
        return met;
    }
    const QByteArray request
        = "POST /hook/" + event + " HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
        return met;
    }
    QByteArray reply;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
        reply.append(chunk, got);
    }
    const qsizetype head = reply.indexOf("\r\n\r\n");
    if (got == 0 && reply.startsWith("HTTP/1.1 ") && head > 0) {
        met = { Met::Answered, reply.mid(head + 4) };
    }
    return met;
}

QByteArray permissionRequest(int number)
{
    return QStringLiteral(R"({"session_id":"s-end","hook_event_name":"PermissionRequest","tool_name":"Bash",)"
                          R"("tool_input":{"command":"ls %1"},"tool_use_id":"t-end-%1","cwd":"/tmp"})")
        .arg(number)
        .toUtf8();
}

// A real murmeli of the test's own, started with no display (or the one given) and listening for hooks.
class Murmeli {
public:
    bool start(const std::optional<QString>& display = std::nullopt)
    {
        std::optional<QProcessEnvironment> environment = murmeli::test::ownMurmeliEnvironment(m_folder.path());
        if (!environment) {
            return false;
        }
        if (display) {
            environment->insert(QStringLiteral("DISPLAY"), *display);
            environment->remove(QStringLiteral("QT_QPA_PLATFORM"));
        }
        process.setProcessEnvironment(*environment);
        // A test run as a background job would hand murmeli SIGINT ignored, which murmeli then leaves ignored.
        process.setChildProcessModifier([] {
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGHUP, SIG_DFL);
        });
        process.start(QStringLiteral(MURMELI_BINARY), QStringList {});
        return waitUntil([&] { return (port = murmeli::test::hookPortIn(readLog())) != 0 || ended(); }, 30000)
            && port != 0;
    }
    ~Murmeli()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    const QByteArray& readLog() { return m_log += process.readAllStandardError(); }
    bool ended() const { return process.state() == QProcess::NotRunning; }
    // Posts count permission requests, each on a thread of its own as each agent's hook is; returns once murmeli
    // holds them all.
    std::vector<std::future<Met>> hold(int count)
    {
        std::vector<std::future<Met>> held;
        for (int number = 1; number <= count; ++number) {
            held.push_back(std::async(std::launch::async,
                [port = port, number] { return post(port, "PermissionRequest", permissionRequest(number)); }));
        }
        EXPECT_TRUE(waitUntil([&] { return readLog().count("Hook: PermissionRequest") >= count; }, 30000))
            << m_log.constData();
        return held;
    }
    QByteArray lastLine() { return readLog().trimmed().split('\n').constLast(); }
    // Whether a later start could take the instance lock now.
    bool lockIsFree() const
    {
        QFile lock(m_folder.filePath(QStringLiteral("instance/instance.lock")));
        return lock.open(QIODevice::ReadWrite) && ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0;
    }

    QProcess process;
    quint16 port = 0;

private:
    QTemporaryDir m_folder;
    QByteArray m_log;
};

} // namespace

// Each way ends murmeli as its panel's quit does: each agent's held request gets the fail-open answer `{}` rather than
// a dropped connection, and the log's last line says why murmeli ended. A logout or an impatient user sends SIGTERM
// twice, and murmeli still ends in order.
TEST(OrderlyEndTest, AHeldRequestIsAnsweredAndTheLogSaysWhyHoweverMurmeliIsEnded)
{
    struct Row {
        int signal; // 0: the X server goes away
        const char* lastLineNames;
        bool twice = false;
    };
    const Row rows[] = { { SIGTERM, "ended on SIGTERM" }, { SIGINT, "ended on SIGINT" }, { SIGHUP, "ended on SIGHUP" },
        { 0, "ended: its X server went away" }, { SIGTERM, "ended on SIGTERM", true } };
    QStringList skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.lastLineNames) + (row.twice ? " twice" : ""));
        QProcess display;
        const auto noDisplay = qScopeGuard([&] {
            display.kill();
            display.waitForFinished(5000);
        });
        std::optional<QString> name;
        if (row.signal == 0 && !(name = startDisplay(display))) {
            cannotRun(skipped, QStringLiteral("no X server of the test's own (Xvfb) could be started"));
            continue;
        }
        Murmeli murmeli;
        ASSERT_TRUE(murmeli.start(name)) << murmeli.readLog().constData();
        // Thirty, so that ending takes a while: a second signal comes while murmeli still ends.
        std::vector<std::future<Met>> held = murmeli.hold(30);

        if (row.signal == 0) {
            display.terminate();
        } else {
            ::kill(pid_t(murmeli.process.processId()), row.signal);
            if (row.twice) {
                QThread::msleep(5); // the two signals' spacing, as measured on a logout
                ::kill(pid_t(murmeli.process.processId()), row.signal);
            }
        }
        ASSERT_TRUE(murmeli.process.waitForFinished(15000)) << "murmeli did not end: " << murmeli.readLog().data();
        int cut = 0;
        for (std::future<Met>& one : held) {
            const Met met = one.get();
            cut += met.how != Met::Answered || met.body != "{}";
        }
        EXPECT_EQ(cut, 0) << "of " << held.size() << " held requests had no `{}`";
        EXPECT_TRUE(murmeli.lastLine().contains(row.lastLineNames)) << murmeli.readLog().constData();
        if (row.signal != 0) {
            // Whoever sent the signal still sees murmeli end by it.
            EXPECT_EQ(murmeli.process.exitStatus(), QProcess::CrashExit);
            EXPECT_EQ(murmeli.process.exitCode(), row.signal);
        } else {
            EXPECT_EQ(murmeli.process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(murmeli.process.exitCode(), 1);
        }
    }
    if (!skipped.isEmpty()) {
        GTEST_SKIP() << skipped.join(QStringLiteral("; ")).toStdString();
    }
}

// Agents go on posting while murmeli ends, by SIGTERM or because its X server went away: each of their requests is
// answered (a permission request fails open, an event is taken) or refused, which the hook takes for murmeli being
// gone; none is cut.
TEST(OrderlyEndTest, WhatArrivesWhileMurmeliEndsIsAnsweredOrRefused)
{
    constexpr int rounds = 3;
    constexpr int streams = 8;
    QStringList skipped;
    for (const bool displayGoes : { false, true }) {
        for (int round = 1; round <= rounds; ++round) {
            SCOPED_TRACE((displayGoes ? "its X server gone, round " : "SIGTERM, round ") + std::to_string(round));
            QProcess display;
            const auto noDisplay = qScopeGuard([&] {
                display.kill();
                display.waitForFinished(5000);
            });
            std::optional<QString> name;
            if (displayGoes && !(name = startDisplay(display))) {
                cannotRun(skipped, QStringLiteral("no X server of the test's own (Xvfb) could be started"));
                break;
            }
            Murmeli murmeli;
            ASSERT_TRUE(murmeli.start(name)) << murmeli.readLog().constData();
            std::vector<std::future<Met>> held = murmeli.hold(4);
            std::atomic<bool> ended { false };
            std::atomic<int> number { 100 };
            // Half the streams post events, half permission requests, one after another until murmeli is gone.
            std::vector<std::future<std::array<int, 3>>> posting;
            for (int stream = 0; stream < streams; ++stream) {
                posting.push_back(std::async(std::launch::async, [&, stream, port = murmeli.port] {
                    std::array<int, 3> met {};
                    for (int after = 0; after < 20; after += ended) {
                        const Met one = stream % 2 == 0 ? post(port, "PostToolUse", "{}")
                                                        : post(port, "PermissionRequest", permissionRequest(++number));
                        ++met[one.how];
                    }
                    return met;
                }));
            }
            EXPECT_TRUE(waitUntil([&] { return murmeli.readLog().count("Hook: PostToolUse") >= 20; }, 15000));
            if (displayGoes) {
                display.terminate();
            } else {
                ::kill(pid_t(murmeli.process.processId()), SIGTERM);
            }
            ASSERT_TRUE(murmeli.process.waitForFinished(15000)) << "murmeli did not end: " << murmeli.readLog().data();
            ended = true;
            std::array<int, 3> met {};
            for (auto& stream : posting) {
                const std::array<int, 3> one = stream.get();
                for (std::size_t how = 0; how < met.size(); ++how) {
                    met[how] += one[how];
                }
            }
            for (std::future<Met>& one : held) {
                EXPECT_EQ(one.get().body, "{}");
            }
            EXPECT_EQ(met[Met::Cut], 0) << "of " << met[Met::Answered] << " answered and " << met[Met::Refused]
                                        << " refused";
            EXPECT_GT(met[Met::Refused], 0) << "the stream never met the end";
        }
    }
    if (!skipped.isEmpty()) {
        GTEST_SKIP() << skipped.join(QStringLiteral("; ")).toStdString();
    }
}

// `nohup murmeli &` in a terminal that is then closed: the shell hands its jobs the hang-up, which nohup told murmeli
// to ignore, and murmeli goes on serving the agents. A job started without nohup beside it shows that the hang-up came.
TEST(OrderlyEndTest, NohupMurmeliOutlivesItsTerminal)
{
    murmeli::test::needTools({ "python3", "bash" });
    if (IsSkipped() || HasFailure()) {
        return;
    }
    QTemporaryDir folder;
    const std::optional<QProcessEnvironment> environment = murmeli::test::ownMurmeliEnvironment(folder.path());
    ASSERT_TRUE(environment);
    const QString log = folder.filePath(QStringLiteral("murmeli.log"));
    // An interactive shell on a terminal of its own, as a terminal window runs it; the terminal closes once a line
    // comes on standard input.
    const char* terminal = R"py(
import os, pty, re, sys
pid, fd = pty.fork()
if pid == 0:
    os.execvp("bash", ["bash", "--norc", "--noprofile", "-i"])
jobs = "nohup '%s' >/dev/null 2>'%s' &\necho murmeli=$!\nsleep 600 &\necho canary=$!\n"
os.write(fd, (jobs % tuple(sys.argv[1:3])).encode())
seen = b""
while len(set(re.findall(rb"(murmeli|canary)=\d+", seen))) < 2:
    seen += os.read(fd, 4096)
for name, number in re.findall(rb"(murmeli|canary)=(\d+)", seen):
    print(name.decode() + "=" + number.decode(), flush=True)
sys.stdin.readline()
os.close(fd)
os.waitpid(pid, 0)
)py";
    QProcess window;
    window.setProcessEnvironment(*environment);
    window.start(QStringLiteral("python3"),
        { QStringLiteral("-c"), QString::fromLatin1(terminal), QStringLiteral(MURMELI_BINARY), log });
    pid_t murmeliPid = 0;
    pid_t canaryPid = 0;
    QByteArray said;
    ASSERT_TRUE(waitUntil(
        [&] {
            said += window.readAllStandardOutput();
            for (const QByteArray& line : said.split('\n')) {
                if (line.startsWith("murmeli=")) {
                    murmeliPid = pid_t(line.mid(8).toInt());
                } else if (line.startsWith("canary=")) {
                    canaryPid = pid_t(line.mid(7).toInt());
                }
            }
            return murmeliPid > 0 && canaryPid > 0;
        },
        15000))
        << said.constData() << window.readAllStandardError().constData();
    const auto stop = qScopeGuard([&] {
        ::kill(murmeliPid, SIGKILL);
        ::kill(canaryPid, SIGKILL);
        window.kill();
        window.waitForFinished(5000);
    });
    QFile output(log);
    quint16 port = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            output.open(QIODevice::ReadOnly);
            port = murmeli::test::hookPortIn(output.readAll());
            output.close();
            return port != 0;
        },
        30000));

    window.write("\n");
    ASSERT_TRUE(window.waitForFinished(15000)) << "the terminal did not close";
    ASSERT_TRUE(waitUntil([&] { return ::kill(canaryPid, 0) != 0; }, 15000)) << "the hang-up never came";
    EXPECT_EQ(::kill(murmeliPid, 0), 0) << "murmeli ended with its terminal";
    const Met met = post(port, "PostToolUse", "{}");
    EXPECT_EQ(met.how, Met::Answered);
    EXPECT_EQ(met.body, R"({"ok":true})");
}

// The transcript of the session on show lies on a mount that stopped answering, which holds murmeli's transcript
// thread in the kernel: SIGTERM still answers the held request and ends murmeli's part within a few seconds, its lock
// let go for a later start. The kernel keeps the process until the mount answers a call it has already taken, as it
// would keep any process in a FUSE call; then it is gone, by the signal.
TEST(OrderlyEndTest, MurmeliEndsWhileTheTranscriptItFollowsLiesOnAMountThatDoesNotAnswer)
{
    QTemporaryDir scratch;
    murmeli::test::StallingMount mount(scratch.filePath("backing"), scratch.filePath("mount"));
    if (!mount.mounted()) {
        if (qEnvironmentVariableIsSet("MURMELI_CI")) {
            FAIL() << "under CI the dead mount must be testable: " << mount.why().toStdString();
        }
        GTEST_SKIP() << mount.why().toStdString();
    }
    QFile transcript(scratch.filePath("backing/transcript.jsonl"));
    ASSERT_TRUE(transcript.open(QIODevice::WriteOnly));
    ASSERT_GT(transcript.write(R"({"slug":"on-a-dead-mount"})"
                               "\n"),
        0);
    transcript.close();
    Murmeli murmeli;
    ASSERT_TRUE(murmeli.start()) << murmeli.readLog().constData();
    // The cap ends the stall of a murmeli that would wait for good, so that the test measures how long it waited.
    ASSERT_TRUE(mount.stall(40));
    const QByteArray status = QStringLiteral(R"({"session_id":"s-end","cwd":"/tmp","transcript_path":"%1"})")
                                  .arg(mount.path() + "/transcript.jsonl")
                                  .toUtf8();
    ASSERT_EQ(post(murmeli.port, "status", status).how, Met::Answered);
    ASSERT_TRUE(mount.waitedOn("/transcript.jsonl", 15000)) << murmeli.readLog().constData();
    std::vector<std::future<Met>> held = murmeli.hold(1);

    QElapsedTimer took;
    took.start();
    ::kill(pid_t(murmeli.process.processId()), SIGTERM);
    EXPECT_TRUE(waitUntil([&] { return murmeli.readLog().contains("murmeli ended on SIGTERM"); }, 20000))
        << "murmeli's end did not come within 20 s of SIGTERM: " << murmeli.readLog().constData();
    EXPECT_TRUE(murmeli.lockIsFree());
    EXPECT_LT(took.elapsed(), 8000) << "murmeli's end came " << took.elapsed() << " ms after SIGTERM";
    const Met met = held.front().get();
    EXPECT_EQ(met.how, Met::Answered);
    EXPECT_EQ(met.body, "{}");

    ASSERT_TRUE(mount.answer());
    EXPECT_TRUE(murmeli.process.waitForFinished(10000));
    EXPECT_EQ(murmeli.process.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(murmeli.process.exitCode(), SIGTERM);
}
