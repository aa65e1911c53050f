#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "platform/ble/fake/FakeBleTransport.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Files.h"
#include "tests/support/HttpClient.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockRunTaskRoute.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

class AppControllerDeviceTest : public ::testing::Test {
protected:
    void start(bool labSwitch)
    {
        auto dependencies = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
        dependencies.defaults->setValue(QLatin1String(device::BLEBridge::enabledUDKey), labSwitch);
        dependencies.bleTransport = [this] {
            ++transportsMade;
            auto fake = std::make_unique<platform::FakeBleTransport>();
            transport = fake.get();
            return fake;
        };
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->startBackend(QString());
    }

    // Plays the device: it advertises while the link scans and accepts the connection.
    bool connectDevice()
    {
        if (!transport || !waitUntil([&] { return transport->isScanning(); })) {
            return false;
        }
        transport->advertise({ QStringLiteral("AA:BB"), QStringLiteral("murmeli-01"), -50 });
        return transport->completeConnection();
    }

    QStringList deviceLines() const
    {
        QStringList lines = QString::fromUtf8(transport->writtenBytes()).split(QLatin1Char('\n'));
        lines.removeLast();
        return lines;
    }

    std::optional<QString> lineWithTag(const QString& tag) const
    {
        for (const QString& line : deviceLines()) {
            if (line.startsWith(tag)) {
                return line;
            }
        }
        return std::nullopt;
    }

    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    QTemporaryDir root;
    int transportsMade = 0;
    platform::FakeBleTransport* transport = nullptr;
    std::unique_ptr<app::AppController> controller;
};

} // namespace

TEST_F(AppControllerDeviceTest, AHeldPermissionRequestIsAnsweredFromTheDevice)
{
    start(true);
    ASSERT_TRUE(connectDevice());

    // No tool-use id: the gateway makes one far longer than the prompt can show.
    const QByteArray body = QJsonDocument(QJsonObject { { "session_id", "0123456789abcdef" }, { "tool_name", "Bash" },
                                              { "tool_input", QJsonObject { { "command", "make test, then ship" } } } })
                                .toJson(QJsonDocument::Compact);
    test::HttpClient agent(test::ControllerProbe::hookServer(*controller).port());
    agent.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body);
    ASSERT_TRUE(waitUntil([&] { return lineWithTag(QStringLiteral("Q:")).has_value(); }));
    const QString prompt = *lineWithTag(QStringLiteral("Q:"));
    const QStringList fields = prompt.mid(2).split(QLatin1Char(','));
    ASSERT_EQ(fields.size(), 7) << prompt.toStdString();
    EXPECT_EQ(fields.at(1), QStringLiteral("Bash"));
    EXPECT_EQ(fields.at(2), QStringLiteral("make test  then ship"));
    const QString shownId = fields.at(0);
    const QString fullId = test::ControllerProbe::pendingTable(*controller).activeRequest()->toolUseId;
    EXPECT_NE(shownId, fullId);

    transport->notify(("R:" + shownId + ",allow\n").toUtf8());
    EXPECT_EQ(agent.readUntilClosed(),
        test::expectedReply(200, "OK",
            R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"));
    EXPECT_FALSE(test::ControllerProbe::pendingTable(*controller).hasActive());
}

TEST_F(AppControllerDeviceTest, TheStatusSyncAndTheSessionListReachTheDevice)
{
    start(true);
    ASSERT_TRUE(connectDevice());
    const QString directory = root.path() + QStringLiteral("/murmeli");
    QFile status(directory + QStringLiteral("/aaaa1111-status.json"));
    ASSERT_TRUE(status.open(QIODevice::WriteOnly));
    status.write(R"({"session_id":"aaaa1111","model":{"display_name":"Opus 4"},)"
                 R"("workspace":{"current_dir":"/home/dev/alpha"}})");
    status.flush();
    // Fresh by the controller's clock, or the registry takes the session for gone.
    ASSERT_TRUE(status.setFileTime(clock->now(), QFileDevice::FileModificationTime));
    status.close();

    controller->sessions().syncSessions();
    ASSERT_TRUE(lineWithTag(QStringLiteral("L:")));
    ASSERT_TRUE(lineWithTag(QStringLiteral("D:")));
    EXPECT_EQ(lineWithTag(QStringLiteral("M:")), QStringLiteral("M:Opus 4"));
    ASSERT_TRUE(waitUntil([&] { return lineWithTag(QStringLiteral("SL:1,")).has_value(); }));
    EXPECT_TRUE(lineWithTag(QStringLiteral("SL:1,"))->endsWith(QStringLiteral(":alpha")));
    clock->advance(device::SessionDetailBridge::refreshIntervalMs);
    EXPECT_TRUE(lineWithTag(QStringLiteral("SD:")).has_value());
    // A second after the connection the overview follows: signed out, and no plan card is made up.
    clock->advance(device::OverviewBridge::connectedPushDelayMs);
    EXPECT_TRUE(lineWithTag(QStringLiteral("AU:murmeli,Free,")).has_value());
    EXPECT_FALSE(lineWithTag(QStringLiteral("PL:")).has_value());
}

// The agent's hook events reach the device as event lines with the summary the event carries; an event whose
// session key is refused reaches nothing.
TEST_F(AppControllerDeviceTest, TheAgentsHookEventsReachTheDeviceAsEventLines)
{
    start(true);
    ASSERT_TRUE(connectDevice());
    const quint16 port = test::ControllerProbe::hookServer(*controller).port();
    test::postHook(port, QStringLiteral("/hook/SessionStart"),
        R"({"session_id":"cccc3333-0000","cwd":"/home/dev/gamma","source":"startup"})");
    ASSERT_TRUE(waitUntil([&] { return lineWithTag(QStringLiteral("E:")).has_value(); }));
    EXPECT_EQ(lineWithTag(QStringLiteral("E:")), QStringLiteral("E:session"));

    test::postHook(port, QStringLiteral("/hook/SessionStart"), R"({"session_id":"bad key","source":"startup"})");
    test::postHook(port, QStringLiteral("/hook/UserPromptSubmit"),
        R"({"session_id":"cccc3333-0000","prompt":"\n  fix the build, then | push\nand tag it"})");
    ASSERT_TRUE(waitUntil([&] { return lineWithTag(QStringLiteral("E:prompt")).has_value(); }));
    EXPECT_EQ(lineWithTag(QStringLiteral("E:prompt")), QStringLiteral("E:prompt|fix the build, then  push"));
    EXPECT_EQ(deviceLines().filter(QRegularExpression(QStringLiteral("^E:"))).size(), 2);
}

TEST_F(AppControllerDeviceTest, WithoutTheLabSwitchThereIsNoLink)
{
    start(false);
    EXPECT_EQ(transportsMade, 0);
    EXPECT_EQ(controller->deviceLink().ble(), nullptr);
    controller->sessions().syncSessions();
}

// The Lab switch turned on while murmeli runs makes the link once and brings it up; off takes it down for good until
// the next on, which reuses the same link.
TEST_F(AppControllerDeviceTest, TheLabSwitchBringsTheLinkUpAndDownWhileMurmeliRuns)
{
    start(false);
    EXPECT_EQ(controller->deviceLink().ble(), nullptr);
    controller->deviceLink().setRunning(true);
    ASSERT_NE(controller->deviceLink().ble(), nullptr);
    EXPECT_TRUE(controller->deviceLink().ble()->isStarted());
    ASSERT_TRUE(connectDevice());
    EXPECT_TRUE(controller->deviceLink().ble()->isConnected());

    controller->deviceLink().setRunning(false);
    EXPECT_TRUE(controller->deviceLink().ble()->isStopped());
    EXPECT_FALSE(controller->deviceLink().ble()->isConnected());
    controller->deviceLink().setRunning(true);
    EXPECT_FALSE(controller->deviceLink().ble()->isStopped());
    EXPECT_EQ(transportsMade, 1);
}

TEST_F(AppControllerDeviceTest, PushToTalkLinesOfTheDeviceAreRoutedBeforeTheApprovalBridgeSeesThem)
{
    start(true);
    QStringList logs;
    controller->onLog = [&](const QString& message, common::LogColor) { logs << message; };
    ASSERT_TRUE(connectDevice());

    transport->notify("PT:start,abc\n");
    ASSERT_TRUE(waitUntil([&] { return test::ControllerProbe::pttRouter(*controller).routedSessionId().has_value(); }));
    EXPECT_EQ(test::ControllerProbe::pttRouter(*controller).routedSessionId(), QStringLiteral("abc"));
    EXPECT_TRUE(logs.contains(QStringLiteral("PTT P4 → start (sid=abc)")));
    transport->notify("PT:end,abc\n");
    ASSERT_TRUE(
        waitUntil([&] { return !test::ControllerProbe::pttRouter(*controller).routedSessionId().has_value(); }));
    transport->notify("PT:start\n");
    ASSERT_TRUE(waitUntil([&] { return logs.contains(QStringLiteral("PTT: malformed PT frame: PT:start")); }));
}

// While the device is connected a take from the panel records the device's microphone: its frames reach the engine
// over the link and stream to the worker, and the log keeps the take as the device's.
TEST_F(AppControllerDeviceTest, WhileTheDeviceIsConnectedATakeFromThePanelStreamsTheDevicesMicrophone)
{
    test::MockCloudWorker worker;
    test::MockRunTaskRoute runTask(worker);
    ASSERT_TRUE(worker.start());
    start(true);
    ASSERT_TRUE(connectDevice());
    controller->defaults().setValue(QString::fromLatin1(voice::SpeechEnhancerConfig::aiOptimizationKey), false);
    voice::SpeechEngine& speech = controller->speech();
    speech.setCloudWorkerURL(worker.baseUrl());
    speech.setCloudToken(QStringLiteral("tok"));
    speech.setActiveMicSource(QString::fromLatin1(voice::SpeechBackends::bleMicSource));
    controller->deviceLink().ble()->startAudioCapture();

    controller->vm().onPTT();
    ASSERT_TRUE(controller->vm().pttActive());
    ASSERT_TRUE(waitUntil([&] { return runTask.lastClient() != nullptr; }));
    // Half a second of G.711 at 8 kHz, which the engine takes as 16-bit PCM at 16 kHz.
    for (int frame = 0; frame < 25; ++frame) {
        ASSERT_TRUE(transport->notify(QByteArray(160, '\x55')));
    }
    clock->advance(1000);
    controller->vm().onPTT();
    ASSERT_TRUE(waitUntil([&] { return controller->vm().awaitingCommitText() == QLatin1String("hello world"); }));
    EXPECT_EQ(runTask.lastClient()->audio.size(), 16000);

    ASSERT_TRUE(controller->dictation().road().pttLog().waitForAppends(5000));
    const QDir logDir(root.filePath(QStringLiteral("ptt-logs")));
    const QJsonObject take
        = QJsonDocument::fromJson(test::readFile(logDir.filePath(logDir.entryList(QDir::Files).value(0)))).object();
    EXPECT_EQ(take["mic_source"].toString(), "ble");
    EXPECT_EQ(take["trigger"].toString(), "panel");
    EXPECT_TRUE(take["streaming"].toBool());
    EXPECT_TRUE(take["success"].toBool());
}
