#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Files.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockRunTaskRoute.h"
#include "tests/support/MockTranscribeRoute.h"
#include "tests/support/MockTranscribeV3Route.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

// Written as of the fake clock's now, which the registry judges freshness by.
void writeFile(const QString& path, const QByteArray& content, const QDateTime& now)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
    file.flush();
    ASSERT_TRUE(file.setFileTime(now, QFileDevice::FileModificationTime));
}

TEST(AppControllerVoiceTest, TheNextTakesContextComesFromTheSelectedSessionAndTheUsersHotwords)
{
    const auto clock = std::make_shared<test::FakeClock>();
    QTemporaryDir root;
    app::AppController::Dependencies dependencies
        = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
    dependencies.defaults->setValue(
        QStringLiteral("settings.voice.customHotwords"), QJsonArray { "kubectl", "Engine.cpp", "x" });
    dependencies.defaults->setValue(QStringLiteral("settings.voice.locale"), QStringLiteral("ja"));
    app::AppController controller(dependencies);

    const QString status = root.path() + QStringLiteral("/murmeli");
    ASSERT_TRUE(QDir().mkpath(status));
    QFile::setPermissions(status, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString transcript = root.path() + QStringLiteral("/t.jsonl");
    writeFile(transcript,
        R"({"type":"assistant","message":{"content":[{"type":"tool_use","id":"tu-1","name":"Read",)"
        R"("input":{"file_path":"/home/dev/alpha/src/Engine.cpp"}}]}})"
        "\n",
        clock->now());
    writeFile(status + QStringLiteral("/aaaa1111-status.json"),
        R"({"workspace":{"current_dir":"/home/dev/alpha"},"cost":{"total_cost_usd":1.25},"transcript_path":")"
            + transcript.toUtf8() + R"("})",
        clock->now());
    writeFile(status + QStringLiteral("/aaaa1111-activity.json"),
        R"({"activity":"Editing","tool":"Edit","ts":)" + QByteArray::number(clock->now().toSecsSinceEpoch()) + "}",
        clock->now());

    controller.startBackend(QString());
    // The transcript is read on its own thread; the context names its file once it has been.
    voice::STTContext context;
    ASSERT_TRUE(test::waitUntil([&] {
        controller.sessions().syncSessions();
        context = controller.sessions().currentSTTContext();
        return !context.files().isEmpty();
    }));

    EXPECT_EQ(context.tool(), "Edit");
    EXPECT_EQ(context.files(), QStringList { "Engine.cpp" });
    EXPECT_DOUBLE_EQ(context.costUSD(), 1.25);
    EXPECT_EQ(context.locale(), "ja-JP");
    // The user's own words outweigh the session's terms, replacing the weight of the same word.
    const QMap<QString, int> expected { { "kubectl", 25 }, { "Engine.cpp", 25 }, { "alpha", 20 }, { "Read", 10 },
        { "Edit", 10 } };
    EXPECT_EQ(context.hotwords(), expected);
    EXPECT_EQ(test::ControllerProbe::appSettings(controller).filePath(),
        root.path() + QStringLiteral("/murmeli-settings.json"));
}

// A controller over a desktop with an xterm in front, a scripted recogniser and a microphone that plays the given
// number of buffers of take PCM, signed in to the worker, with the polish off and the take files under root.
struct DictationRig final {
    explicit DictationRig(int buffers) : buffers(buffers) { }

    bool start(const QString& workerUrl)
    {
        desktop->addWindow(
            { 0x400001, QStringLiteral("xterm"), QStringLiteral("XTerm"), 4242, QStringLiteral("bash") });
        desktop->setActiveWindow(0x400001);
        app::AppController::Dependencies dependencies
            = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
        dependencies.desktop = [this] { return test::fakeDesktopServices(desktop); };
        dependencies.recognizer = recognizer;
        dependencies.takeDirectory = root.path();
        dependencies.audioCapture = [this] {
            auto capture = std::make_unique<platform::FakeAudioCapture>();
            capture->setSource(platform::AudioFormat::take(), QByteArray(this->buffers * 4096 * 2, '\x11'));
            capture->setSpeed(0);
            microphone = capture.get();
            return capture;
        };
        dependencies.defaults->setValue(QString::fromLatin1(voice::SpeechEnhancerConfig::aiOptimizationKey), false);
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->onLog = [this](const QString& message, common::LogColor) { logs << message; };
        controller->startBackend(QString());
        controller->speech().setCloudWorkerURL(workerUrl);
        controller->speech().setCloudToken(QStringLiteral("tok"));
        return test::waitUntil(
            [&] { return controller->speech().authStatus() == platform::RecognizerAuthorization::Authorized; });
    }

    int buffers;
    QTemporaryDir root;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::shared_ptr<platform::FakeDesktop> desktop = std::make_shared<platform::FakeDesktop>();
    std::shared_ptr<platform::FakeSpeechRecognizer> recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
    QPointer<platform::FakeAudioCapture> microphone;
    QStringList logs;
    std::unique_ptr<app::AppController> controller;
};

} // namespace

TEST(AppControllerVoiceTest, SignedInStreamingOpensTheSessionThroughTheEnginesSocketsAndReportsItsStates)
{
    test::MockCloudWorker worker;
    test::MockTranscribeV3Route v3(worker);
    ASSERT_TRUE(worker.start());
    QTemporaryDir root;
    const auto clock = std::make_shared<test::FakeClock>();
    app::AppController controller(
        test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock));
    QStringList states;
    QObject::connect(&controller.notifications(), &common::NotificationHub::wsStateChanged, &controller.notifications(),
        [&](const QString& state) { states << state; });

    controller.speech().streaming().openIfEligible();
    EXPECT_EQ(controller.speech().streaming().session(), nullptr) << "no token, no session";

    EXPECT_TRUE(controller.speech().setWebSocketProxy(QStringLiteral("proxy.example"), 70000).has_value());
    EXPECT_EQ(controller.speech().wsProxyPort(), 0) << "a refused proxy is not stored";

    controller.speech().setCloudWorkerURL(worker.baseUrl());
    controller.speech().setCloudToken(QStringLiteral("tok-1"));
    controller.speech().setActiveBackendId(QString::fromLatin1(voice::SpeechBackends::cloudStreamingId));
    controller.speech().streaming().openIfEligible();
    ASSERT_NE(controller.speech().streaming().session(), nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return controller.speech().streaming().session()->isReady(); }));
    EXPECT_FALSE(states.isEmpty());
    ASSERT_FALSE(worker.connections(QStringLiteral("/ws/transcribe-v3")).empty());

    // The engine's streaming takes are turns of the session its keeper holds.
    QStringList results;
    controller.speech().onResult = [&](const QString& text) { results << text; };
    ASSERT_TRUE(controller.speech().startStreamingBLERecord());
    controller.speech().feedStreamingBLEChunk(QByteArray(8000, '\x55'));
    clock->advance(1000);
    controller.speech().stopStreamingRecord();
    ASSERT_TRUE(test::waitUntil([&] { return !results.isEmpty(); }));
    EXPECT_EQ(results, QStringList { v3.script().finalText });
    ASSERT_EQ(v3.lastClient()->turns.size(), 1u);
    EXPECT_EQ(v3.lastClient()->turns[0].audioBytes, 32000);

    controller.speech().streaming().discard();
    EXPECT_EQ(controller.speech().streaming().session(), nullptr);
}

TEST(AppControllerVoiceTest, F13OverTheDesktopPastesIntoTheTerminalInFrontAndGivesTheClipboardBack)
{
    QTemporaryDir root;
    const auto clock = std::make_shared<test::FakeClock>();
    const auto desktop = std::make_shared<platform::FakeDesktop>();
    const auto recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
    recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("make test")));
    app::AppController::Dependencies dependencies
        = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
    dependencies.desktop = [desktop] { return test::fakeDesktopServices(desktop); };
    dependencies.recognizer = recognizer;
    const std::shared_ptr<platform::Defaults> defaults = dependencies.defaults;
    app::AppController controller(std::move(dependencies));
    QStringList logs;
    controller.onLog = [&](const QString& message, common::LogColor) { logs << message; };

    const platform::ClipboardItem image { QStringLiteral("image/png"), QByteArray("\x89PNG", 4) };
    desktop->copyFromOtherProgram(platform::ClipboardMode::Clipboard, { image });
    desktop->addWindow({ 0x400001, QStringLiteral("xterm"), QStringLiteral("XTerm"), 4242, QStringLiteral("bash") });
    desktop->setActiveWindow(0x400001);
    // The stored custom hotkey is taken at start-up, and given back when the settings unbind it.
    const settings::PTTHotkey hotkey { settings::HotkeyModifier::control, 'k', QStringLiteral("Ctrl+K") };
    hotkey.saveToDefaults(*defaults);
    controller.startBackend(QString());
    const platform::KeyChord ctrlK { 'k', std::nullopt, platform::KeyModifier::Ctrl, std::nullopt };
    EXPECT_TRUE(desktop->isGrabbed(ctrlK));
    controller.dictation().road().rebindCustomHotkey(
        app::PushToTalkRoad::customHotkeyChord(settings::PTTHotkey::none()));
    EXPECT_FALSE(desktop->isGrabbed(ctrlK));
    EXPECT_FALSE(controller.vm().accessibilityNeedGrant());
    ASSERT_TRUE(test::waitUntil(
        [&] { return controller.speech().authStatus() == platform::RecognizerAuthorization::Authorized; }));

    ASSERT_TRUE(desktop->press(platform::KeyChord::f13()));
    ASSERT_TRUE(test::waitUntil([&] { return logs.contains(QStringLiteral("VoiceFlow: idle → recording")); }));
    clock->advance(1500);
    ASSERT_TRUE(desktop->release(platform::KeyChord::f13()));
    ASSERT_TRUE(test::waitUntil([&] { return controller.vm().awaitingCommitText() == QLatin1String("make test"); }));
    // A press while the text waits is refused rather than recorded for nothing.
    ASSERT_TRUE(desktop->press(platform::KeyChord::f13()));
    EXPECT_FALSE(controller.vm().pttActive());
    desktop->release(platform::KeyChord::f13());
    clock->advance(500);
    ASSERT_TRUE(test::waitUntil([&] { return !desktop->sentChords().isEmpty(); }));
    const platform::FakeDesktop::SentChord paste = desktop->sentChords().first();
    EXPECT_EQ(paste.activeWindow, 0x400001u);
    EXPECT_EQ(paste.clipboardText, "make test");
    clock->advance(500);
    ASSERT_TRUE(test::waitUntil([&] {
        return desktop->items(platform::ClipboardMode::Clipboard) == QList<platform::ClipboardItem> { image };
    }));

    // The panel's button toggles a take; this one is heard as nothing and ends without a paste.
    controller.vm().onPTT();
    EXPECT_TRUE(controller.vm().pttActive());
    clock->advance(1000);
    controller.vm().onPTT();
    EXPECT_FALSE(controller.vm().pttActive());
    ASSERT_TRUE(test::waitUntil(
        [&] { return logs.contains(QStringLiteral("VoiceFlow: stop(empty/failed) → cleanup to idle")); }));
    EXPECT_EQ(desktop->sentChords().size(), 1);
    ASSERT_TRUE(controller.dictation().road().pttLog().waitForAppends(5000));
    const QDir logDir(root.filePath(QStringLiteral("ptt-logs")));
    QFile log(logDir.filePath(logDir.entryList(QDir::Files).value(0)));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject pasted = QJsonDocument::fromJson(lines[0]).object();
    const QJsonObject failed = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(pasted["trigger"].toString(), "f13");
    EXPECT_EQ(pasted["duration_ms"].toInt(), 1500);
    EXPECT_EQ(pasted["final_text_length"].toInt(), 9);
    EXPECT_EQ(failed["trigger"].toString(), "panel");
    EXPECT_FALSE(failed["success"].toBool());
    EXPECT_TRUE(failed["error"].toString().startsWith(QLatin1String("Recognition failed")));

    // Where no key reaches other programs the panel asks for the right.
    desktop->setInjectionSupport({ false, QStringLiteral("a Wayland session") });
    controller.vm().onGrantAccessibility();
    EXPECT_TRUE(controller.vm().accessibilityNeedGrant());
    EXPECT_TRUE(logs.last().contains(QStringLiteral("a Wayland session")));
    EXPECT_TRUE(controller.dictation().fnDoubleTapEnabled());
    controller.dictation().setFnDoubleTapEnabled(false);
    EXPECT_FALSE(controller.dictation().fnDoubleTapEnabled());
}

// The hotkey the settings recorded is grabbed at start-up and, pressed, toggles a take as the panel's button does.
TEST(AppControllerVoiceTest, TheRecordedHotkeyTogglesATake)
{
    QTemporaryDir root;
    const auto clock = std::make_shared<test::FakeClock>();
    const auto desktop = std::make_shared<platform::FakeDesktop>();
    app::AppController::Dependencies dependencies
        = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
    dependencies.desktop = [desktop] { return test::fakeDesktopServices(desktop); };
    dependencies.recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
    const settings::PTTHotkey hotkey { settings::HotkeyModifier::control | settings::HotkeyModifier::option, 'k',
        QStringLiteral("Ctrl+Alt+K") };
    hotkey.saveToDefaults(*dependencies.defaults);
    app::AppController controller(std::move(dependencies));
    controller.startBackend(QString());
    ASSERT_TRUE(test::waitUntil(
        [&] { return controller.speech().authStatus() == platform::RecognizerAuthorization::Authorized; }));

    const platform::KeyChord ctrlAltK { 'k', std::nullopt, platform::KeyModifier::Ctrl | platform::KeyModifier::Alt,
        std::nullopt };
    ASSERT_TRUE(desktop->press(ctrlAltK));
    desktop->release(ctrlAltK);
    ASSERT_TRUE(test::waitUntil([&] { return controller.vm().pttActive(); }));
    clock->advance(1000);
    ASSERT_TRUE(desktop->press(ctrlAltK));
    desktop->release(ctrlAltK);
    EXPECT_TRUE(test::waitUntil([&] { return !controller.vm().pttActive(); }));
}

// A streamed take whose worker drops in the middle still ends in the text the on-device recogniser heard in the whole
// take: the fallback's notice leaves the take running, and the log keeps it as streamed from the computer's microphone
// and recognised on the device.
TEST(AppControllerVoiceTest, AStreamedTakeThatFallsBackOnTheDeviceEndsInItsTextAndIsLoggedAsStreamed)
{
    test::MockCloudWorker worker;
    test::MockRunTaskRoute runTask(worker);
    ASSERT_TRUE(worker.start());
    runTask.script().dropAfterPieces = 4;
    DictationRig rig(6);
    rig.recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("make test")));
    ASSERT_TRUE(rig.start(worker.baseUrl()));

    ASSERT_TRUE(rig.desktop->press(platform::KeyChord::f13()));
    ASSERT_TRUE(rig.microphone);
    rig.microphone->deliver(6);
    ASSERT_TRUE(test::waitUntil([&] {
        const test::MockRunTaskRoute::Client* client = runTask.lastClient();
        return client && client->pieceSizes.size() == 4 && !client->connection->isOpen();
    }));
    rig.clock->advance(1500);
    ASSERT_TRUE(rig.desktop->release(platform::KeyChord::f13()));
    ASSERT_TRUE(test::waitUntil([&] {
        return rig.controller->vm().awaitingCommitText() == QLatin1String("make test");
    })) << rig.logs.join('\n').toStdString();
    EXPECT_TRUE(rig.logs.contains(QStringLiteral("Speech: Streaming failed, fallback to Apple STT")));
    EXPECT_FALSE(rig.logs.contains(QStringLiteral("PTT: text of no running take dropped")));

    rig.clock->advance(voice::VoiceFlowCoordinator::escCancelWindowMsRaw);
    ASSERT_TRUE(rig.controller->dictation().road().pttLog().waitForAppends(5000));
    const QDir logDir(rig.root.filePath(QStringLiteral("ptt-logs")));
    const QJsonObject take
        = QJsonDocument::fromJson(test::readFile(logDir.filePath(logDir.entryList(QDir::Files).value(0)))).object();
    EXPECT_TRUE(take["success"].toBool());
    EXPECT_TRUE(take["streaming"].toBool());
    EXPECT_EQ(take["mic_source"].toString(), "local");
    EXPECT_EQ(take["backend"].toString(), "apple-stt");
    EXPECT_EQ(take["final_text_length"].toInt(), 9);
}

// A worker that never answers and an on-device recogniser that never answers either: the take still ends, once, in
// the failure that says so, and nothing of it reaches the next take, which pastes only its own text.
TEST(AppControllerVoiceTest, ATakeWhoseWorkerAndRecogniserHangEndsOnceAndTheNextTakeGetsOnlyItsOwnText)
{
    test::MockCloudWorker worker;
    test::MockTranscribeRoute upload(worker);
    ASSERT_TRUE(worker.start());
    upload.script().answer = test::MockTranscribeRoute::Answer::Hang;
    upload.script().transcript = QStringLiteral("first take");
    DictationRig rig(4);
    rig.recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("first take on the device")));
    rig.recognizer->setHeld(true);
    ASSERT_TRUE(rig.start(worker.baseUrl()));
    voice::SpeechEngine& speech = rig.controller->speech();
    speech.setActiveBackendId(QString::fromLatin1(voice::SpeechBackends::cloudId));
    speech.setPreferStreaming(false);
    // The flow finds its target while the take records; the key goes up once it has.
    const auto recording = [&] {
        return test::waitUntil([&] {
            return rig.controller->dictation().road().flow().currentState().is<voice::VoiceFlowState::Recording>();
        });
    };

    ASSERT_TRUE(rig.desktop->press(platform::KeyChord::f13()));
    ASSERT_TRUE(rig.microphone);
    rig.microphone->deliver(4);
    ASSERT_TRUE(recording());
    rig.clock->advance(1500);
    ASSERT_TRUE(rig.desktop->release(platform::KeyChord::f13()));
    ASSERT_TRUE(test::waitUntil([&] { return upload.uploads().size() == 1; }));
    rig.clock->advance(voice::CloudTranscribeClient::uploadTimeoutMs);
    ASSERT_TRUE(test::waitUntil([&] { return rig.recognizer->inFlight() == 1; })) << rig.logs.join('\n').toStdString();
    rig.clock->advance(voice::SpeechEngine::onDeviceLimitMs);
    ASSERT_TRUE(test::waitUntil([&] {
        return rig.controller->dictation().road().flow().currentState().is<voice::VoiceFlowState::Idle>()
            && !rig.logs.filter(QStringLiteral("no result within")).isEmpty();
    }));
    EXPECT_TRUE(QDir(speech.takeFiles().folder()).isEmpty()) << "the given-up take's files are gone";

    // The old recognition, were it still running, would answer now, while the next take records.
    upload.script().answer = test::MockTranscribeRoute::Answer::Transcript;
    upload.script().transcript = QStringLiteral("second take");
    ASSERT_TRUE(rig.desktop->press(platform::KeyChord::f13()));
    rig.recognizer->release();
    rig.microphone->deliver(4);
    ASSERT_TRUE(recording());
    rig.clock->advance(1500);
    ASSERT_TRUE(rig.desktop->release(platform::KeyChord::f13()));
    ASSERT_TRUE(test::waitUntil([&] {
        return rig.controller->vm().awaitingCommitText() == QLatin1String("second take");
    })) << rig.logs.join('\n').toStdString();
    rig.clock->advance(500);
    ASSERT_TRUE(test::waitUntil([&] { return !rig.desktop->sentChords().isEmpty(); }));
    EXPECT_EQ(rig.desktop->sentChords().size(), 1);
    EXPECT_EQ(rig.desktop->sentChords().first().clipboardText, "second take");
    EXPECT_TRUE(rig.logs.filter(QStringLiteral("first take")).isEmpty());

    ASSERT_TRUE(rig.controller->dictation().road().pttLog().waitForAppends(5000));
    const QDir logDir(rig.root.filePath(QStringLiteral("ptt-logs")));
    const QList<QByteArray> lines
        = test::readFile(logDir.filePath(logDir.entryList(QDir::Files).value(0))).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_FALSE(first["success"].toBool());
    EXPECT_EQ(first["error"].toString(), "Recognition failed: no result within 60 s");
    EXPECT_EQ(first["backend"].toString(), "apple-stt");
    EXPECT_TRUE(second["success"].toBool());
    EXPECT_EQ(second["backend"].toString(), "murmeli-cloud");
    EXPECT_EQ(second["final_text_length"].toInt(), 11);
}

// A microphone that never opens (the sound server hangs or is gone), for a batch take and a streamed one: the take
// ends while the key is still held, the panel says why under the strip, and the log records the failure.
TEST(AppControllerVoiceTest, AMicrophoneThatNeverOpensEndsTheTakeWithANoticeInThePanel)
{
    for (const bool streamed : { false, true }) {
        SCOPED_TRACE(streamed ? "streamed" : "batch");
        test::MockCloudWorker worker;
        test::MockRunTaskRoute runTask(worker);
        ASSERT_TRUE(worker.start());
        DictationRig rig(0);
        ASSERT_TRUE(rig.start(streamed ? worker.baseUrl() : QString()));
        if (!streamed) {
            rig.controller->speech().setCloudToken(QString());
        }

        ASSERT_TRUE(rig.desktop->press(platform::KeyChord::f13()));
        ASSERT_TRUE(test::waitUntil([&] { return rig.controller->vm().pttActive() && rig.microphone; }));
        rig.microphone->fail(QStringLiteral("the sound server does not answer"));
        ASSERT_TRUE(test::waitUntil([&] { return !rig.controller->vm().pttActive(); }))
            << rig.logs.join('\n').toStdString();
        EXPECT_TRUE(rig.controller->vm().modeBHintText().contains(QLatin1String("microphone")))
            << rig.controller->vm().modeBHintText().toStdString();
        rig.desktop->release(platform::KeyChord::f13());

        ASSERT_TRUE(rig.controller->dictation().road().pttLog().waitForAppends(5000));
        const QDir logDir(rig.root.filePath(QStringLiteral("ptt-logs")));
        const QJsonObject take
            = QJsonDocument::fromJson(test::readFile(logDir.filePath(logDir.entryList(QDir::Files).value(0)))).object();
        EXPECT_FALSE(take["success"].toBool());
        EXPECT_EQ(take["streaming"].toBool(), streamed);
        EXPECT_TRUE(take["error"].toString().contains(QLatin1String("the sound server does not answer")))
            << take["error"].toString().toStdString();
    }
}
