#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

const QString scripts = QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/");

struct ScriptRun {
    int exitCode = -1;
    QByteArray output;
};

// Runs a hook script with the given JSON on standard input while the test's event loop keeps turning, so an
// in-process murmeli can answer it.
ScriptRun runScript(const QString& script, const QStringList& arguments, const QByteArray& input,
    const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/bash"), QStringList { scripts + script } + arguments);
    process.write(input);
    process.closeWriteChannel();
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000);
    return { process.exitCode(), process.readAllStandardOutput() };
}

QProcessEnvironment environmentFor(quint16 port, const QString& statusDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MURMELI_PORT"), QString::number(port));
    environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), statusDir);
    return environment;
}

} // namespace

TEST(HookScriptsTest, ScriptsStaySilentAndSucceedWhenMurmeliIsNotThere)
{
    QTemporaryDir root;
    // A port that nothing listens on.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    const auto environment = environmentFor(port, root.path() + QStringLiteral("/murmeli"));
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
}

TEST(HookScriptsTest, EventsArriveWithTheirNamesAndUnsafeInputIsHarmless)
{
    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    QStringList lines;
    controller.onLog = [&](const QString& message, common::LogColor) { lines << message; };
    controller.startBackend(QString());
    const QString statusDir = root.path() + QStringLiteral("/murmeli");
    const auto environment = environmentFor(controller.hookServer().port(), statusDir);

    const QByteArray notice
        = R"({"session_id":"note5678-y","hook_event_name":"Notification","notification_type":"idle_prompt","message":"waiting"})";
    EXPECT_EQ(runScript(QStringLiteral("notify-hook"), {}, notice, environment).exitCode, 0);
    const QByteArray failure = R"({"session_id":"note5678-y","hook_event_name":"PostToolUseFailure","tool_name":"Bash"})";
    EXPECT_EQ(runScript(QStringLiteral("tool-hook"), {}, failure, environment).exitCode, 0);
    EXPECT_EQ(runScript(QStringLiteral("session-hook"), { QStringLiteral("SessionStart") }, notice, environment).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return lines.contains(QStringLiteral("Hook: SessionStart")); }));
    EXPECT_TRUE(lines.contains(QStringLiteral("Hook: Notification")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Hook: PostToolUseFailure")));

    // An event argument that is not a plain name is not sent; a session id that could leave the directory does not
    // name a status file.
    const int before = lines.size();
    EXPECT_EQ(runScript(QStringLiteral("session-hook"), { QStringLiteral("../x") }, notice, environment).exitCode, 0);
    for (const QByteArray id : { QByteArray("../../etc/x"), QByteArray("ab/../cd") }) {
        const QByteArray sneaky = R"({"session_id":")" + id + R"(","model":{"display_name":"M"}})";
        const ScriptRun status = runScript(QStringLiteral("status-hook"), {}, sneaky, environment);
        EXPECT_EQ(status.output, "murmeli · M\n");
    }
    ASSERT_TRUE(waitUntil([&] { return lines.contains(QStringLiteral("Hook: status")); }));
    EXPECT_FALSE(lines.mid(before).contains(QStringLiteral("Hook: ../x")));
    EXPECT_TRUE(QDir(statusDir).entryList({ QStringLiteral("*-status.json") }, QDir::Files).isEmpty());
}
