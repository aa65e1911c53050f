#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "main/voice/service/CloudTranscribe.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "platform/ble/fake/FakeBleTransport.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
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
        dependencies.defaults->setValue(QStringLiteral("lab.ble.enabled"), labSwitch);
        dependencies.bleTransport = [this] {
            ++transportsMade;
            auto fake = std::make_unique<platform::FakeBleTransport>();
            transport = fake.get();
            return fake;
        };
        dependencies.recognizer = recognizer;
        dependencies.desktop = [desktop = desktop] { return test::fakeDesktopServices(desktop); };
        dependencies.audioCapture = [this] {
            auto fake = std::make_unique<platform::FakeAudioCapture>();
            microphone = fake.get();
            return fake;
        };
        dependencies.audioPlayer = [this] {
            auto player = std::make_unique<platform::FakeAudioPlayer>();
            speaker = player.get();
            return player;
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

    // Frames of µ-law in which every byte differs from its neighbours, so a lost, repeated or reordered byte shows.
    static QByteArray deviceFrame(int frame)
    {
        QByteArray bytes(160, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((frame * 160 + i) * 29 + 7);
        }
        return bytes;
    }

    // Plays half a second of the device's microphone; returns what it sent.
    QByteArray sendDeviceAudio()
    {
        QByteArray sent;
        for (int frame = 0; frame < 25; ++frame) {
            const QByteArray bytes = deviceFrame(frame);
            EXPECT_TRUE(transport->notify(bytes));
            sent += bytes;
        }
        return sent;
    }

    QJsonObject lastLoggedTake()
    {
        // A recognised take is logged once its commit window has passed and its text has gone out.
        clock->advance(voice::VoiceFlowCoordinator::escCancelWindowMsEnhanced);
        EXPECT_TRUE(controller->dictation().road().pttLog().waitForAppends(5000));
        const QDir logDir(root.filePath(QStringLiteral("ptt-logs")));
        const QList<QByteArray> lines
            = test::readFile(logDir.filePath(logDir.entryList(QDir::Files).value(0))).trimmed().split('\n');
        return QJsonDocument::fromJson(lines.last()).object();
    }

    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::shared_ptr<platform::FakeSpeechRecognizer> recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
    platform::FakeAudioPlayer* speaker = nullptr;
    std::shared_ptr<platform::FakeDesktop> desktop = std::make_shared<platform::FakeDesktop>();
    platform::FakeAudioCapture* microphone = nullptr;
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

// While the device is connected a take from the panel records the device's microphone: the take turns the link to
// audio, its frames reach the worker byte for byte as take PCM, the link reads text lines again afterwards, and the
// log keeps the take as the device's.
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
    device::BLEBridge& link = *controller->deviceLink().ble();
    EXPECT_FALSE(link.isReceivingAudio());

    controller->vm().onPTT();
    ASSERT_TRUE(controller->vm().pttActive());
    EXPECT_TRUE(link.isReceivingAudio());
    ASSERT_TRUE(waitUntil([&] { return runTask.lastClient() != nullptr; }));
    // Half a second of G.711 at 8 kHz, which the engine takes as 16-bit PCM at 16 kHz.
    const QByteArray mulaw = sendDeviceAudio();
    clock->advance(1000);
    controller->vm().onPTT();
    EXPECT_FALSE(link.isReceivingAudio());
    ASSERT_TRUE(waitUntil([&] { return controller->vm().awaitingCommitText() == QLatin1String("hello world"); }));
    EXPECT_EQ(
        runTask.lastClient()->audio, voice::CloudTranscribe::resample8to16(voice::CloudTranscribe::decodeMulaw(mulaw)));
    // One socket, opened when the take began, carried it.
    EXPECT_EQ(runTask.clients().size(), 1u);

    transport->notify("PT:start,abc\n");
    EXPECT_TRUE(waitUntil([&] { return test::ControllerProbe::pttRouter(*controller).routedSessionId().has_value(); }));
    const QJsonObject take = lastLoggedTake();
    EXPECT_EQ(take["mic_source"].toString(), "ble");
    EXPECT_EQ(take["trigger"].toString(), "panel");
    EXPECT_TRUE(take["streaming"].toBool());
    EXPECT_TRUE(take["success"].toBool());
}

// Which microphone a take opens depends on what started it: while the device is connected and chosen, F13 and the
// panel's button record from the device, the Fn double tap and the user's own hotkey from this computer, and the
// device's push-to-talk button only addresses a session; without the device every take records from this computer.
TEST_F(AppControllerDeviceTest, EachTriggerOpensTheMicrophoneThatBelongsToIt)
{
    enum class Trigger { F13, FnDoubleTap, CustomHotkey, Panel, DeviceButton };
    enum class Opens { Nothing, Computer, Device };
    const struct {
        const char* name;
        Trigger trigger;
        bool deviceConnected;
        Opens opens;
    } rows[] = {
        { "F13, device", Trigger::F13, true, Opens::Device },
        { "Fn double tap, device", Trigger::FnDoubleTap, true, Opens::Computer },
        { "custom hotkey, device", Trigger::CustomHotkey, true, Opens::Computer },
        { "panel, device", Trigger::Panel, true, Opens::Device },
        { "device button, device", Trigger::DeviceButton, true, Opens::Nothing },
        { "F13, no device", Trigger::F13, false, Opens::Computer },
        { "Fn double tap, no device", Trigger::FnDoubleTap, false, Opens::Computer },
        { "custom hotkey, no device", Trigger::CustomHotkey, false, Opens::Computer },
        { "panel, no device", Trigger::Panel, false, Opens::Computer },
    };
    const platform::KeyChord ctrlK { 'k', std::nullopt, platform::KeyModifier::Ctrl, std::nullopt };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        controller.reset();
        start(true);
        ASSERT_TRUE(!row.deviceConnected || connectDevice());
        // The device stays the chosen microphone whether it is connected or not.
        controller->speech().setActiveMicSource(QString::fromLatin1(voice::SpeechBackends::bleMicSource));
        app::PushToTalkRoad& road = controller->dictation().road();
        road.rebindCustomHotkey(ctrlK);
        ASSERT_TRUE(waitUntil(
            [&] { return controller->speech().authStatus() == platform::RecognizerAuthorization::Authorized; }));

        switch (row.trigger) {
        case Trigger::F13:
            ASSERT_TRUE(desktop->press(platform::KeyChord::f13()));
            break;
        case Trigger::FnDoubleTap:
            for (const auto& [ms, down] : { std::pair { 0, true }, { 80, false }, { 200, true } }) {
                road.fnDoubleTap().handleFlagsChanged({ ms, down, false });
            }
            break;
        case Trigger::CustomHotkey:
            ASSERT_TRUE(desktop->press(ctrlK));
            desktop->release(ctrlK);
            break;
        case Trigger::Panel:
            controller->vm().onPTT();
            break;
        case Trigger::DeviceButton:
            transport->notify("PT:start,abc\n");
            ASSERT_TRUE(
                waitUntil([&] { return test::ControllerProbe::pttRouter(*controller).routedSessionId().has_value(); }));
            break;
        }
        EXPECT_EQ(controller->vm().pttActive(), row.opens != Opens::Nothing);
        EXPECT_EQ(microphone && microphone->isActive(), row.opens == Opens::Computer);
        EXPECT_EQ(
            row.deviceConnected && controller->deviceLink().ble()->isReceivingAudio(), row.opens == Opens::Device);
        if (controller->vm().pttActive()) {
            controller->vm().onPTT();
        }
        EXPECT_FALSE(controller->vm().pttActive());
    }
}

// Without streaming the device's take is collected by the link and, at the stop, heard on this machine from a file of
// the user's own that goes with the take.
TEST_F(AppControllerDeviceTest, WithoutStreamingTheDevicesTakeIsCollectedAndHeardWhenItStops)
{
    start(true);
    ASSERT_TRUE(connectDevice());
    controller->speech().setActiveMicSource(QString::fromLatin1(voice::SpeechBackends::bleMicSource));
    recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("device words")));
    recognizer->setHeld(true);

    controller->vm().onPTT();
    ASSERT_TRUE(controller->vm().pttActive());
    const QByteArray mulaw = sendDeviceAudio();
    clock->advance(1000);
    controller->vm().onPTT();
    EXPECT_FALSE(controller->deviceLink().ble()->isReceivingAudio());
    ASSERT_TRUE(waitUntil([&] { return recognizer->inFlight() == 1; }));
    const QString file = recognizer->requests().back().wavPath;
    EXPECT_EQ(test::readFile(file),
        voice::CloudTranscribe::buildWAV(
            voice::CloudTranscribe::resample8to16(voice::CloudTranscribe::decodeMulaw(mulaw)), 16000));
    recognizer->release();
    ASSERT_TRUE(waitUntil([&] { return controller->vm().awaitingCommitText() == QLatin1String("device words"); }));
    EXPECT_FALSE(QFileInfo::exists(file));

    const QJsonObject take = lastLoggedTake();
    EXPECT_EQ(take["mic_source"].toString(), "ble");
    EXPECT_FALSE(take["streaming"].toBool());
    EXPECT_EQ(take["backend"].toString(), "apple-stt");
    EXPECT_TRUE(take["success"].toBool());
}

// The announcements come from where the user listens: the computer while its microphone is used, the device once the
// device is the microphone.
TEST_F(AppControllerDeviceTest, TheSpeakerFollowsTheMicrophoneSource)
{
    start(true);
    ASSERT_TRUE(connectDevice());
    device::TTSEngine& tts = controller->announcements().tts();
    tts.setEnabled(true);
    ASSERT_NE(speaker, nullptr);
    // The device's stream waits between its pieces on the controller's clock.
    const auto speak = [&](const QString& phrase) {
        auto done = std::make_shared<bool>(false);
        [](QCoro::Task<> speaking, std::shared_ptr<bool> ended) -> QCoro::Task<> {
            co_await speaking;
            *ended = true;
        }(tts.speak(phrase), done);
        return waitUntil([&] {
            clock->advance(20);
            return *done;
        });
    };

    ASSERT_TRUE(speak(QStringLiteral("Task complete")));
    EXPECT_EQ(speaker->played().size(), 1u);
    EXPECT_FALSE(lineWithTag(QStringLiteral("V:start")).has_value());

    controller->speech().setActiveMicSource(QString::fromLatin1(voice::SpeechBackends::bleMicSource));
    ASSERT_TRUE(speak(QStringLiteral("Tests passed")));
    EXPECT_EQ(speaker->played().size(), 1u);
    EXPECT_TRUE(lineWithTag(QStringLiteral("V:start,")).has_value());
    // The audio runs straight into the end line.
    EXPECT_TRUE(transport->writtenBytes().contains("V:end\n"));
}
