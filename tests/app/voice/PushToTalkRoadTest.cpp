#include "main/app/voice/PushToTalkRoad.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTemporaryDir>

#include "main/app/panel/PanelViewModel.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingVoiceInjector.h"
#include "tests/support/Wait.h"

namespace murmeli::app {
namespace {

using platform::KeyChord;
using test::waitUntil;
using voice::VoiceFlowState;

const KeyChord escape { platform::keysym::Escape, std::nullopt, {} };
const KeyChord customChord { 'r', std::nullopt, platform::KeyModifier::Ctrl | platform::KeyModifier::Alt };

// The road over a speech engine with a fake microphone and a scripted on-device recogniser (no token: every take is
// recorded whole and recognised on the device), the fake desktop's keys and an injector that records.
class PushToTalkRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        road.onLog = [this](const QString& message, common::LogColor) { logs << message; };
        desktop.onPressed = [this](platform::HotkeyId id) { road.handleHotkey(id, true); };
        desktop.onReleased = [this](platform::HotkeyId id) { road.handleHotkey(id, false); };
        road.start();
        ASSERT_TRUE(waitUntil([this] { return speech.authStatus() == platform::RecognizerAuthorization::Authorized; }));
    }

    std::unique_ptr<platform::AudioCapture> makeCapture()
    {
        auto capture = std::make_unique<platform::FakeAudioCapture>();
        capture->setSource(platform::AudioFormat::take(), QByteArray(32000, '\x11'));
        capture->setSpeed(0);
        microphone = capture.get();
        return capture;
    }

    // Holds F13 for ms while the microphone plays, and lets it go.
    void speakWithF13(qint64 ms)
    {
        ASSERT_TRUE(desktop.press(KeyChord::f13()));
        ASSERT_TRUE(microphone);
        microphone->deliver(2);
        clock.advance(ms);
        desktop.release(KeyChord::f13());
    }

    bool waiting() { return road.flow().currentState().is<VoiceFlowState::AwaitingCommit>(); }

    QList<QJsonObject> logRecords() const
    {
        QList<QJsonObject> records;
        const QDir logs(dir.filePath(QStringLiteral("logs")));
        for (const QString& name : logs.entryList(QDir::Files)) {
            QFile file(logs.filePath(name));
            if (file.open(QIODevice::ReadOnly)) {
                for (const QByteArray& line : file.readAll().split('\n')) {
                    if (!line.isEmpty()) {
                        records << QJsonDocument::fromJson(line).object();
                    }
                }
            }
        }
        return records;
    }

    QTemporaryDir dir;
    test::FakeClock clock;
    platform::Defaults defaults { dir.filePath(QStringLiteral("defaults.json")) };
    std::shared_ptr<platform::FakeSpeechRecognizer> recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
    QPointer<platform::FakeAudioCapture> microphone;
    voice::SpeechEngine speech { defaults, clock,
        voice::SpeechEngine::Devices {
            [this] { return makeCapture(); }, recognizer, [] { return nullptr; }, dir.path() },
        [] { return QStringLiteral("en_US"); } };
    PanelViewModel vm { clock };
    platform::FakeDesktop desktop;
    test::RecordingVoiceInjector injector;
    voice::FocusTarget xterm { QStringLiteral("terminal"), QStringLiteral("XTerm"), std::nullopt, 0x400001 };
    PushToTalkRoad road { PushToTalkRoad::Links {
        speech,
        vm,
        desktop,
        injector,
        [this]() -> QCoro::Task<voice::VoiceMode> { co_return voice::ModeA { xterm }; },
        defaults,
        clock,
        [] { return voice::STTContext {}; },
        [] { return false; },
        dir.filePath(QStringLiteral("logs")),
    } };
    QStringList logs;
};

TEST_F(PushToTalkRoadTest, F13HeldDownRecordsAndItsTextIsPastedAfterTheCommitWindow)
{
    recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("open the terminal")));
    EXPECT_TRUE(desktop.isGrabbed(KeyChord::f13()));
    EXPECT_FALSE(desktop.isGrabbed(escape)) << "Esc belongs to the other programs while nothing waits";

    ASSERT_TRUE(desktop.press(KeyChord::f13()));
    EXPECT_TRUE(vm.pttActive());
    EXPECT_TRUE(road.isRecording());
    EXPECT_TRUE(road.flow().currentState().is<VoiceFlowState::Recording>());
    microphone->deliver(2);
    clock.advance(1200);
    desktop.release(KeyChord::f13());
    EXPECT_FALSE(vm.pttActive());

    ASSERT_TRUE(waitUntil([this] { return waiting(); }));
    EXPECT_EQ(vm.awaitingCommitText(), "open the terminal");
    EXPECT_TRUE(vm.awaitingCommitIsRaw());
    EXPECT_TRUE(desktop.isGrabbed(escape));
    clock.advance(499);
    EXPECT_TRUE(injector.pasted.isEmpty());
    clock.advance(1);
    ASSERT_TRUE(waitUntil([this] { return !injector.pasted.isEmpty(); }));
    EXPECT_EQ(injector.pasted, QStringList { "open the terminal" });
    EXPECT_TRUE(road.flow().currentState().is<VoiceFlowState::Idle>());
    EXPECT_FALSE(desktop.isGrabbed(escape));
    EXPECT_TRUE(vm.awaitingCommitText().isEmpty());
    EXPECT_TRUE(logs.contains(QStringLiteral("Voice commit: open the terminal [enhanced=false]")));

    ASSERT_TRUE(road.pttLog().waitForAppends(5000));
    const QList<QJsonObject> records = logRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["trigger"].toString(), "f13");
    EXPECT_EQ(records[0]["mic_source"].toString(), "local");
    EXPECT_EQ(records[0]["streaming"].toBool(), false);
    EXPECT_EQ(records[0]["success"].toBool(), true);
    EXPECT_EQ(records[0]["final_text_length"].toInt(), 17);
    EXPECT_EQ(records[0]["duration_ms"].toInt(), 1200);
}

TEST_F(PushToTalkRoadTest, EscInTheCommitWindowCancelsAndTheBannerShowsBriefly)
{
    recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("never mind")));
    speakWithF13(1000);
    ASSERT_TRUE(waitUntil([this] { return waiting(); }));
    ASSERT_TRUE(desktop.press(escape));
    EXPECT_TRUE(road.flow().currentState().is<VoiceFlowState::Idle>());
    EXPECT_TRUE(vm.voiceCancelledFeedback());
    EXPECT_TRUE(vm.awaitingCommitText().isEmpty());
    EXPECT_FALSE(desktop.isGrabbed(escape));
    EXPECT_TRUE(logs.contains(QStringLiteral("VoiceFlow: cancelled by esc_key")));
    clock.advance(400);
    EXPECT_FALSE(vm.voiceCancelledFeedback());
    clock.advance(1000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(injector.pasted.isEmpty());
}

TEST_F(PushToTalkRoadTest, TakesThatCannotBePastedEndQuietlyAndAreLogged)
{
    struct Row {
        const char* name;
        platform::PresetRecognitionOutcome outcome;
        qint64 holdMs;
        const char* error;
    };
    const Row rows[] = {
        { "nothing heard", platform::PresetRecognitionOutcome::recognised(QString()), 1000, "Recognition failed: " },
        { "recogniser fails",
            platform::PresetRecognitionOutcome::failure(
                platform::RecognitionError::Code::DecoderFailed, QStringLiteral("model missing")),
            1000, "Recognition failed: model missing" },
        { "too short", platform::PresetRecognitionOutcome::recognised(QStringLiteral("unheard")), 200,
            "Recording too short" },
    };
    int takes = 0;
    for (const Row& row : rows) {
        recognizer->queue(row.outcome);
        speakWithF13(row.holdMs);
        ++takes;
        ASSERT_TRUE(waitUntil([this, takes] {
            return road.pttLog().waitForAppends(0) && logRecords().size() == takes;
        })) << row.name;
        EXPECT_TRUE(road.flow().currentState().is<VoiceFlowState::Idle>()) << row.name;
        const QJsonObject record = logRecords().last();
        EXPECT_FALSE(record["success"].toBool()) << row.name;
        EXPECT_TRUE(record["error"].toString().startsWith(QLatin1String(row.error)))
            << row.name << ": " << record["error"].toString().toStdString();
    }
    clock.advance(2000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(injector.pasted.isEmpty());
}

TEST_F(PushToTalkRoadTest, TheCustomHotkeyTogglesAndTheCapEndsAForgottenTake)
{
    road.rebindCustomHotkey(customChord);
    EXPECT_TRUE(desktop.isGrabbed(customChord));
    recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("first")));
    recognizer->queue(platform::PresetRecognitionOutcome::recognised(QStringLiteral("second")));

    ASSERT_TRUE(desktop.press(customChord));
    desktop.release(customChord);
    EXPECT_TRUE(road.isRecording()) << "its release does not end the take";
    microphone->deliver(1);
    clock.advance(1000);
    ASSERT_TRUE(desktop.press(customChord));
    EXPECT_FALSE(road.isRecording());
    ASSERT_TRUE(waitUntil([this] { return waiting(); }));

    // A press while the text still waits is refused rather than recorded for nothing.
    ASSERT_TRUE(desktop.press(KeyChord::f13()));
    EXPECT_FALSE(road.isRecording());
    desktop.release(KeyChord::f13());
    clock.advance(500);
    ASSERT_TRUE(waitUntil([this] { return injector.pasted.size() == 1; }));

    // A take nobody ends stops itself at 60 s; the late release changes nothing.
    ASSERT_TRUE(desktop.press(KeyChord::f13()));
    microphone->deliver(1);
    clock.advance(60000);
    EXPECT_FALSE(road.isRecording());
    EXPECT_TRUE(logs.contains(QStringLiteral("VoiceFlow: 60s 上限触发,自动停录音")));
    desktop.release(KeyChord::f13());
    ASSERT_TRUE(waitUntil([this] { return waiting(); }));
    clock.advance(500);
    ASSERT_TRUE(waitUntil([this] { return injector.pasted.size() == 2; }));
    EXPECT_EQ(injector.pasted, (QStringList { "first", "second" }));

    road.rebindCustomHotkey(std::nullopt);
    EXPECT_FALSE(desktop.isGrabbed(customChord));
    ASSERT_TRUE(road.pttLog().waitForAppends(5000));
    const QList<QJsonObject> records = logRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0]["trigger"].toString(), "custom_hotkey");
    EXPECT_EQ(records[1]["duration_ms"].toInt(), 60000);
}

} // namespace
} // namespace murmeli::app

namespace murmeli::app {
namespace {

TEST(PushToTalkRoadHotkeyTest, AStoredHotkeyBecomesTheChordTheDesktopGrabs)
{
    using platform::KeyModifier;
    namespace bit = settings::HotkeyModifier;
    struct Row {
        const char* name;
        settings::PTTHotkey hotkey;
        std::optional<KeyChord> chord;
    };
    const Row rows[] = {
        { "unbound", settings::PTTHotkey::none(), std::nullopt },
        { "no key", { bit::control, 0, {} }, std::nullopt },
        { "Ctrl+Alt+K", { bit::control | bit::option, 'k', {} },
            KeyChord { 'k', std::nullopt, KeyModifier::Ctrl | KeyModifier::Alt } },
        { "Shift+F5", { bit::shift, 0xffc2, {} }, KeyChord { 0xffc2, std::nullopt, KeyModifier::Shift } },
        { "Super+space, caps lock bit dropped", { bit::command | 0x10000, ' ', {} },
            KeyChord { ' ', std::nullopt, KeyModifier::Super } },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PushToTalkRoad::customHotkeyChord(row.hotkey), row.chord) << row.name;
    }
}

} // namespace
} // namespace murmeli::app
