#include <gtest/gtest.h>

#include <csignal>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/hooks/transcript/TranscriptWatcher.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/AgentPeer.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Files.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::AgentPeer;
using test::waitUntil;

namespace {

// The agent's home gets murmeli's real hook scripts through the real installer; murmeli itself runs in-process
// on a free port, which the scripts learn from MURMELI_PORT.
class AgentHookScriptsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString whyNot;
        if (!AgentPeer::available(&whyNot)) {
            GTEST_SKIP() << whyNot.toStdString();
        }
        QProcess installer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        installer.setProcessEnvironment(environment);
        installer.setProcessChannelMode(QProcess::MergedChannels);
        installer.start(
            QStringLiteral("/bin/bash"), { QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/install-hooks.sh") });
        ASSERT_TRUE(installer.waitForFinished(60000));
        ASSERT_EQ(installer.exitCode(), 0) << installer.readAll().toStdString();

        // murmeli reads the secret the installer stored; the fake store stands in for the user's keychain.
        const QByteArray secret
            = test::readFile(home.path() + QStringLiteral("/.local/share/murmeli/hooks/hook-secret"));
        ASSERT_FALSE(secret.isEmpty());
        secrets->save(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), secret);
        controller = std::make_unique<app::AppController>(
            test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
        controller->onLog = [this](const QString& message, common::LogColor) { lines << message; };
        controller->startBackend(QString());
        ASSERT_TRUE(test::ControllerProbe::hookServer(*controller).authEnforced());
        marker = work.path() + QStringLiteral("/marker");
    }

    void runAgent()
    {
        QProcessEnvironment extra;
        extra.insert(
            QStringLiteral("MURMELI_PORT"), QString::number(test::ControllerProbe::hookServer(*controller).port()));
        extra.insert(QStringLiteral("MURMELI_STATUS_DIR"), root.path() + QStringLiteral("/murmeli"));
        agent = AgentPeer::run(home.path(), work.path(), QStringLiteral("RUNBASH: touch ") + marker, extra);
    }

    QString agentOutput() { return QString::fromUtf8(agent->readAll()); }

    QTemporaryDir root;
    QTemporaryDir home;
    QTemporaryDir work;
    QString marker;
    QStringList lines;
    std::shared_ptr<platform::FakeSecretStore> secrets = std::make_shared<platform::FakeSecretStore>();
    std::unique_ptr<app::AppController> controller;
    std::unique_ptr<QProcess> agent;
};

} // namespace

TEST_F(AgentHookScriptsTest, SessionReachesMurmeliThroughTheInstalledScripts)
{
    runAgent();
    ASSERT_TRUE(waitUntil([&] { return test::ControllerProbe::pendingTable(*controller).hasActive(); }, 120000))
        << agentOutput().toStdString();
    const hooks::ApprovalRequest request = *test::ControllerProbe::pendingTable(*controller).activeRequest();
    // The command as the agent sent it: the short preview cuts it where the temporary folder's path is long.
    EXPECT_EQ(QJsonDocument::fromJson(request.rawInputJSON).object().value(QStringLiteral("command")).toString(),
        QStringLiteral("touch ") + marker);
    EXPECT_EQ(test::ControllerProbe::hookServer(*controller).bearerRejectCount(), 0);

    const auto& sessions = test::ControllerProbe::sessionRegistry(*controller).sessions();
    EXPECT_TRUE(std::any_of(
        sessions.begin(), sessions.end(), [&](const auto& s) { return s.sid8.text() == request.sessionId; }));
    const QString transcript = QString::fromUtf8(test::readFile(
        root.path() + QStringLiteral("/murmeli/") + request.sessionId + QStringLiteral("-transcript-path.txt")));
    ASSERT_TRUE(transcript.endsWith(QStringLiteral(".jsonl"))) << transcript.toStdString();

    // The agent is running while its request is held: discovery finds it in its working directory.
    const std::vector<hooks::AgentProcess> agents = test::ControllerProbe::processDiscovery(*controller).discoverAll();
    EXPECT_TRUE(std::any_of(agents.begin(), agents.end(), [&](const hooks::AgentProcess& p) {
        return p.cliKind == hooks::AgentCLI::ClaudeCode && p.cwd == QFileInfo(work.path()).canonicalFilePath();
    })) << agents.size();

    test::ControllerProbe::pendingTable(*controller)
        .resolve(request.toolUseId, hooks::ApprovalDecision::allow(hooks::PermissionScope::Once));
    ASSERT_TRUE(waitUntil([&] { return agent->state() == QProcess::NotRunning; }, 120000));
    EXPECT_TRUE(QFileInfo::exists(marker)) << agentOutput().toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Hook: PostToolUse")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Hook: SessionEnd")));

    // The session's real transcript: the Bash call completed and the assistant's last words are there.
    hooks::TranscriptWatcher watcher;
    watcher.watch(transcript);
    ASSERT_TRUE(waitUntil(
        [&] {
            const hooks::TranscriptData data = watcher.data();
            return std::any_of(data.tools.begin(), data.tools.end(), [](const hooks::TranscriptTool& t) {
                return t.name == QStringLiteral("Bash") && t.status == QStringLiteral("completed");
            }) && !data.lastAssistantText.isEmpty();
        },
        10000));
    EXPECT_TRUE(watcher.data().runningTools().isEmpty());
}

TEST_F(AgentHookScriptsTest, UndecidedRequestFailsOpenThroughThePermissionScript)
{
    runAgent();
    ASSERT_TRUE(waitUntil([&] { return test::ControllerProbe::pendingTable(*controller).hasActive(); }, 120000))
        << agentOutput().toStdString();
    const QString id = test::ControllerProbe::pendingTable(*controller).activeRequest()->toolUseId;
    ASSERT_TRUE(waitUntil([&] { return !test::ControllerProbe::pendingTable(*controller).hasActive(); }, 40000));
    EXPECT_TRUE(lines.contains(QStringLiteral("[approval-diag] ") + id + QStringLiteral(" → failOpen")));
    ASSERT_TRUE(waitUntil([&] { return agent->state() == QProcess::NotRunning; }, 120000));
    EXPECT_FALSE(QFileInfo::exists(marker)) << agentOutput().toStdString();
}

// The agent is killed while its permission hook waits: nobody is left to read a decision, so its request ends at once
// and the one queued behind it is shown, rather than both waiting out the time limit.
TEST_F(AgentHookScriptsTest, AKilledAgentsRequestEndsAndTheNextOneIsShown)
{
    runAgent();
    hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(*controller);
    ASSERT_TRUE(waitUntil([&] { return table.hasActive(); }, 120000)) << agentOutput().toStdString();
    const QByteArray next
        = QJsonDocument(QJsonObject { { "session_id", "0ther000-session" }, { "tool_name", "Bash" },
                            { "tool_use_id", "tu-next" }, { "tool_input", QJsonObject { { "command", "make" } } } })
              .toJson(QJsonDocument::Compact);
    test::HttpClient queued(test::ControllerProbe::hookServer(*controller).port());
    queued.write("POST /hook/PermissionRequest HTTP/1.1\r\nAuthorization: Bearer "
        + test::readFile(home.path() + QStringLiteral("/.local/share/murmeli/hooks/hook-secret"))
        + "\r\nContent-Length: " + QByteArray::number(next.size()) + "\r\n\r\n" + next);
    ASSERT_TRUE(waitUntil([&] { return table.queueDepth() == 1; }));

    const QString folder = QFileInfo(work.path()).canonicalFilePath();
    const std::vector<hooks::AgentProcess> agents = test::ControllerProbe::processDiscovery(*controller).discoverAll();
    const auto killed
        = std::find_if(agents.begin(), agents.end(), [&](const hooks::AgentProcess& p) { return p.cwd == folder; });
    ASSERT_NE(killed, agents.end());
    ASSERT_EQ(::kill(static_cast<pid_t>(killed->pid.toLongLong()), SIGKILL), 0);
    EXPECT_TRUE(waitUntil([&] { return table.hasActive() && table.activeRequest()->toolUseId == "tu-next"; }, 5000));
    table.resolve(QStringLiteral("tu-next"), hooks::ApprovalDecision::deny());
    EXPECT_TRUE(queued.readUntilClosed().contains(R"("behavior":"deny")"));
}
