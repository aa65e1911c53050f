#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/AgentPeer.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using hooks::ApprovalDecision;
using test::AgentPeer;
using test::waitUntil;

namespace {

// The agent's permission hook posts its JSON to murmeli and prints the reply, as the real hook script will.
QByteArray settingsFor(quint16 port)
{
    const QString command = QStringLiteral(
        "curl -s --max-time 60 -X POST -H 'Authorization: Bearer agent-test' -H 'Content-Type: application/json' "
        "--data-binary @- http://127.0.0.1:%1/hook/PermissionRequest")
                                .arg(port);
    const QJsonObject hook { { QStringLiteral("type"), QStringLiteral("command") },
        { QStringLiteral("command"), command }, { QStringLiteral("timeout"), 60 } };
    const QJsonObject entry { { QStringLiteral("matcher"), QStringLiteral("*") },
        { QStringLiteral("hooks"), QJsonArray { hook } } };
    const QJsonObject hooks { { QStringLiteral("PermissionRequest"), QJsonArray { entry } } };
    return QJsonDocument(QJsonObject { { QStringLiteral("hooks"), hooks } }).toJson();
}

class AgentApprovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString whyNot;
        if (!AgentPeer::available(&whyNot)) {
            GTEST_SKIP() << whyNot.toStdString();
        }
        secrets->save(
            QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), "agent-test");
        controller = std::make_unique<app::AppController>(
            test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
        controller->onLog = [this](const QString& message, common::LogColor) { lines << message; };
        controller->startBackend(QString());
        ASSERT_TRUE(test::ControllerProbe::hookServer(*controller).isRunning());
        ASSERT_TRUE(
            AgentPeer::writeSettings(home.path(), settingsFor(test::ControllerProbe::hookServer(*controller).port())));
        marker = work.path() + QStringLiteral("/marker");
    }

    void runAgent() { agent = AgentPeer::run(home.path(), work.path(), QStringLiteral("RUNBASH: touch ") + marker); }

    bool waitForRequest()
    {
        return waitUntil([&] { return test::ControllerProbe::pendingTable(*controller).hasActive(); }, 120000);
    }

    bool waitForAgent(int timeoutMs = 120000)
    {
        return waitUntil([&] { return agent->state() == QProcess::NotRunning; }, timeoutMs);
    }

    QString agentOutput() { return QString::fromUtf8(agent->readAll()); }

    std::shared_ptr<platform::FakeSecretStore> secrets = std::make_shared<platform::FakeSecretStore>();
    QTemporaryDir root;
    QTemporaryDir home;
    QTemporaryDir work;
    QString marker;
    QStringList lines;
    std::unique_ptr<app::AppController> controller;
    std::unique_ptr<QProcess> agent;
};

} // namespace

TEST_F(AgentApprovalTest, AllowLetsTheCommandRun)
{
    runAgent();
    ASSERT_TRUE(waitForRequest()) << agentOutput().toStdString();
    const hooks::ApprovalRequest request = *test::ControllerProbe::pendingTable(*controller).activeRequest();
    EXPECT_EQ(request.toolName, QStringLiteral("Bash"));
    // The command as the agent sent it: the short preview cuts it where the temporary folder's path is long.
    EXPECT_EQ(QJsonDocument::fromJson(request.rawInputJSON).object().value(QStringLiteral("command")).toString(),
        QStringLiteral("touch ") + marker);
    EXPECT_EQ(request.sessionId.size(), 8);
    test::ControllerProbe::pendingTable(*controller)
        .resolve(request.toolUseId, ApprovalDecision::allow(hooks::PermissionScope::Once));
    ASSERT_TRUE(waitForAgent());
    EXPECT_TRUE(QFileInfo::exists(marker)) << agentOutput().toStdString();
}

TEST_F(AgentApprovalTest, DenyStopsTheCommand)
{
    runAgent();
    ASSERT_TRUE(waitForRequest()) << agentOutput().toStdString();
    const QString id = test::ControllerProbe::pendingTable(*controller).activeRequest()->toolUseId;
    test::ControllerProbe::pendingTable(*controller)
        .resolve(id, ApprovalDecision::deny(QStringLiteral("denied from the test")));
    ASSERT_TRUE(waitForAgent());
    EXPECT_FALSE(QFileInfo::exists(marker));
}

TEST_F(AgentApprovalTest, NoDecisionFailsOpenAfterTwentyFiveSeconds)
{
    runAgent();
    ASSERT_TRUE(waitForRequest()) << agentOutput().toStdString();
    QElapsedTimer held;
    held.start();
    const QString id = test::ControllerProbe::pendingTable(*controller).activeRequest()->toolUseId;
    ASSERT_TRUE(waitUntil([&] { return !test::ControllerProbe::pendingTable(*controller).hasActive(); }, 40000));
    EXPECT_GE(held.elapsed(), 24000);
    EXPECT_TRUE(lines.contains(QStringLiteral("[approval-diag] still waiting on ") + id));
    EXPECT_TRUE(lines.contains(QStringLiteral("[approval-diag] ") + id + QStringLiteral(" → failOpen")));
    // With no decision the agent falls back to its own rules, which in print mode refuse the command.
    ASSERT_TRUE(waitForAgent());
    EXPECT_FALSE(QFileInfo::exists(marker));
}
