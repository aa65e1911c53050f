// Whole takes through the speech engine over real sockets against the loopback mock of the cloud worker: a fake
// microphone that plays PCM as if spoken, the pump's own thread, both streaming protocols, the stop and the
// on-device fallback with a scripted recogniser. Take lengths run on a fake clock; the network on the event loop.

#include "main/voice/engine/SpeechEngine.h"

#include <cmath>
#include <memory>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QTimer>

#include "main/voice/preferences/LocaleNormalizer.h"
#include "main/voice/service/CloudTranscribe.h"
#include "main/voice/service/CloudTranscribeClient.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Files.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockRunTaskRoute.h"
#include "tests/support/MockTranscribeRoute.h"
#include "tests/support/MockTranscribeV3Route.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {

namespace {

using platform::PresetRecognitionOutcome;
using test::waitUntil;

// A 440 Hz tone that changes every sample's value, so any repeated or missing byte at a join shows.
QByteArray sourcePcm(int ms)
{
    const int samples = 16 * ms;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const auto value = static_cast<qint16>((i * 37 + (i / 7) * 1013) % 30000 - 15000);
        pcm[2 * i] = static_cast<char>(value & 0xff);
        pcm[2 * i + 1] = static_cast<char>((value >> 8) & 0xff);
    }
    return pcm;
}

class SpeechEngineTakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_worker.start());
        m_runTask.script().token = QStringLiteral("tok");
        m_v3.script().token = QStringLiteral("tok");
        m_defaults = std::make_unique<platform::Defaults>(m_dir.filePath(QStringLiteral("defaults.json")));
        m_recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
        SpeechEngine::Devices devices {
            [this] { return makeCapture(); },
            m_recognizer,
            m_dir.path(),
        };
        m_engine = std::make_unique<SpeechEngine>(
            *m_defaults, m_clock, std::move(devices), [] { return QStringLiteral("en_US"); });
        m_engine->setCloudToken(QStringLiteral("tok"));
        m_engine->setCloudWorkerURL(m_worker.baseUrl());
        m_engine->onPartialText = [this](const QString& text) { partials.append(text); };
        m_engine->onResult = [this](const QString& text) { outcomes.append(QStringLiteral("result: ") + text); };
        m_engine->onError = [this](const QString& text) { outcomes.append(QStringLiteral("error: ") + text); };
    }

    // The engine goes first: stopping its microphone still delivers into what the test records.
    void TearDown() override { m_engine.reset(); }

    std::unique_ptr<platform::AudioCapture> makeCapture()
    {
        auto capture = std::make_unique<platform::FakeAudioCapture>();
        capture->setSource(m_sourceFormat, m_source);
        capture->setSpeed(0);
        if (m_failNextStart) {
            capture->failNextStart(QStringLiteral("device busy"));
        }
        if (m_access) {
            capture->setAccess(*m_access);
        }
        QObject::connect(capture.get(), &platform::AudioCapture::pcmCaptured, capture.get(),
            [this](const QByteArray& pcm) { captured.append(pcm); });
        m_microphone = capture.get();
        return capture;
    }

    // The engine's long-lived v3 session, open and ready.
    void openSession()
    {
        m_defaults->setValue(QString::fromLatin1(LocaleNormalizer::userDefaultsKey), QStringLiteral("zh-CN"));
        m_engine->streaming().openIfEligible();
        ASSERT_NE(session(), nullptr);
        ASSERT_TRUE(waitUntil([this] { return session()->isReady(); }));
    }

    Qwen3ASRStreamingSession* session() const { return m_engine->streaming().session(); }

    // Plays buffers of the fake microphone; each is 4096 frames, which 3200 bytes do not divide.
    void speak(int buffers)
    {
        ASSERT_TRUE(m_microphone);
        m_microphone->deliver(buffers);
    }

    bool ended() const { return !outcomes.isEmpty() && outcomes.last().startsWith(QLatin1String("result")); }

    // The file the recogniser was handed, while it still listens: the take's own, in a folder of the user's that no
    // one else may enter, holding wav. Gone once the take has ended (see expectTakeFilesGone).
    void expectPrivateTakeFile(const QString& path, const QByteArray& wav)
    {
        const QFileInfo file(path);
        EXPECT_EQ(file.absolutePath(), m_engine->takeFiles().folder());
        EXPECT_EQ(QFileInfo(file.absolutePath()).absolutePath(), m_dir.path());
        EXPECT_EQ(QFile::permissions(file.absolutePath()) & 0x0077, 0);
        EXPECT_EQ(file.ownerId(), ::geteuid());
        QFile recorded(path);
        ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
        EXPECT_EQ(recorded.readAll(), wav);
    }

    void expectTakeFilesGone(const QString& path)
    {
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(QDir(m_engine->takeFiles().folder()).isEmpty());
    }

    QTemporaryDir m_dir;
    test::FakeClock m_clock;
    test::MockCloudWorker m_worker;
    test::MockRunTaskRoute m_runTask { m_worker };
    test::MockTranscribeV3Route m_v3 { m_worker };
    test::MockTranscribeRoute m_upload { m_worker };
    std::unique_ptr<platform::Defaults> m_defaults;
    std::shared_ptr<platform::FakeSpeechRecognizer> m_recognizer;
    std::unique_ptr<SpeechEngine> m_engine;
    QPointer<platform::FakeAudioCapture> m_microphone;
    platform::AudioFormat m_sourceFormat = platform::AudioFormat::take();
    QByteArray m_source = sourcePcm(3000);
    bool m_failNextStart = false;
    // What the sound server says of the microphone; present by default.
    std::optional<platform::MicrophoneAccess> m_access;
    QByteArray captured;
    QStringList partials;
    QStringList outcomes;
};

TEST_F(SpeechEngineTakeTest, ARunTaskTakeSendsEveryCapturedByteInWholePiecesAndDeliversTheFinalOnce)
{
    m_runTask.script().partialEveryPieces = 4;
    ASSERT_TRUE(m_engine->startStreamingRecord());
    EXPECT_TRUE(m_engine->isListening());
    speak(5);
    ASSERT_TRUE(
        waitUntil([this] { return m_runTask.lastClient() && m_runTask.lastClient()->pieceSizes.size() >= 12; }));
    ASSERT_TRUE(waitUntil([this] { return partials.size() >= 3; }));
    m_clock.advance(1500);
    m_engine->stopStreamingRecord();
    EXPECT_FALSE(m_engine->isStreamingMode());
    EXPECT_FALSE(m_engine->isListening());
    ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));

    const test::MockRunTaskRoute::Client& client = *m_runTask.lastClient();
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("result: hello world") });
    EXPECT_EQ(client.audio, captured);
    EXPECT_EQ(captured, m_source.left(captured.size()));
    EXPECT_EQ(captured.size(), 5 * 4096 * 2);
    for (std::size_t i = 0; i + 1 < client.pieceSizes.size(); ++i) {
        EXPECT_EQ(client.pieceSizes[i], 3200) << "piece " << i;
    }
    EXPECT_EQ(client.pieceSizes.back(), captured.size() % 3200);
    ASSERT_EQ(client.taskControls.size(), 2u);
    EXPECT_EQ(client.taskControls.back().value("header").toObject().value("action").toString(), "finish-task");
    EXPECT_EQ(partials.first(), QStringLiteral("h"));
    EXPECT_EQ(partials.last(), QStringLiteral("hello world"));
    EXPECT_TRUE(m_runTask.violations().isEmpty()) << m_runTask.violations().join('\n').toStdString();
    EXPECT_TRUE(waitUntil([&] { return client.connection->clientCloseCode() == 1000; }));
}

// The worker's final comes with the end of its connection on its heels; the take keeps the text it was given.
TEST_F(SpeechEngineTakeTest, ARunTaskTakeKeepsItsFinalWhenTheWorkerClosesRightAfterIt)
{
    m_runTask.script().closeAfterFinished = true;
    ASSERT_TRUE(m_engine->startStreamingRecord());
    speak(2);
    ASSERT_TRUE(waitUntil([this] { return m_runTask.lastClient() && m_runTask.lastClient()->pieceSizes.size() >= 5; }));
    m_clock.advance(1000);
    m_engine->stopStreamingRecord();
    ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));
    ASSERT_TRUE(waitUntil([this] { return m_runTask.lastClient()->connection->clientCloseCode().has_value(); }));
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("result: hello world") });
    EXPECT_TRUE(m_recognizer->requests().empty());
}

TEST_F(SpeechEngineTakeTest, AV3TurnCarriesTheTakeOverTheLongLivedSessionAndDeliversItsFinalOnce)
{
    // A microphone of its own rate and layout: what reaches the worker is what converting the whole recording in
    // one piece gives, so no buffer join repeats or drops a sample.
    m_sourceFormat = { 44100, 2, platform::SampleType::Float32 };
    m_source = QByteArray(44100 * 2 * 4, Qt::Uninitialized);
    auto* samples = reinterpret_cast<float*>(m_source.data());
    for (int i = 0; i < 44100 * 2; ++i) {
        samples[i] = float(0.4 * std::sin(i * 0.021) + 0.2 * std::sin(i * 0.37));
    }
    openSession();
    m_v3.script().partialEveryPieces = 3;
    ASSERT_TRUE(m_engine->startStreamingRecord());
    speak(8);
    ASSERT_TRUE(waitUntil([this] { return partials.size() >= 2; }));
    m_clock.advance(2000);
    m_engine->stopStreamingRecord();
    ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));
    ASSERT_TRUE(waitUntil([this] { return session()->isReady(); }));

    const test::MockTranscribeV3Route::Client& client = *m_v3.lastClient();
    ASSERT_EQ(client.turns.size(), 1u);
    EXPECT_EQ(client.turns[0].audio, captured);
    platform::AudioConverter whole(m_sourceFormat);
    QByteArray converted = whole.convert(QByteArrayView(m_source).first(8 * 4096 * 8));
    converted += whole.flush();
    EXPECT_EQ(client.turns[0].audio, converted);
    EXPECT_EQ(converted.size(), (8 * 4096 * 16000 + 22050) / 44100 * 2);
    EXPECT_TRUE(client.turns[0].ended);
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("result: hello from the mock worker") });
    EXPECT_EQ(partials.first(), QStringLiteral("hello"));
    EXPECT_TRUE(m_v3.violations().isEmpty()) << m_v3.violations().join('\n').toStdString();
    // No run-task socket was opened for a take the session carried.
    EXPECT_TRUE(m_runTask.clients().empty());
}

TEST_F(SpeechEngineTakeTest, TakesOfThreeTenthsOrLessAreReportedTooShortOnEveryPath)
{
    // Older protocol: the socket is closed normally and no task is finished.
    ASSERT_TRUE(m_engine->startStreamingRecord());
    speak(1);
    ASSERT_TRUE(waitUntil([this] { return m_runTask.lastClient() && !m_runTask.lastClient()->pieceSizes.empty(); }));
    m_clock.advance(300);
    m_engine->stopStreamingRecord();
    ASSERT_TRUE(waitUntil([this] { return m_runTask.lastClient()->connection->clientCloseCode() == 1000; }));
    EXPECT_EQ(m_runTask.lastClient()->taskControls.size(), 1u);

    // v3: the turn is cancelled without an end of turn.
    openSession();
    ASSERT_TRUE(m_engine->startStreamingRecord());
    m_clock.advance(250);
    m_engine->stopStreamingRecord();
    EXPECT_TRUE(session()->isReady());

    // Batch.
    m_engine->requestPermission({});
    ASSERT_TRUE(waitUntil([this] { return m_engine->authStatus() == platform::RecognizerAuthorization::Authorized; }));
    m_engine->setActiveBackendId(QStringLiteral("apple-stt"));
    ASSERT_TRUE(m_engine->startRecording());
    speak(1);
    m_clock.advance(200);
    m_engine->stopRecording();

    const QString tooShort = QStringLiteral("error: Recording too short");
    EXPECT_EQ(outcomes, (QStringList { tooShort, tooShort, tooShort }));
    EXPECT_TRUE(m_recognizer->requests().empty());
    EXPECT_EQ(m_v3.finalsSent(), 0);
    EXPECT_TRUE(m_v3.lastClient()->turns.empty() || !m_v3.lastClient()->turns.back().ended);
}

TEST_F(SpeechEngineTakeTest, AWorkerFailureMidTakeFallsBackToTheOnDeviceRecogniserWithTheWholeTake)
{
    struct Row {
        const char* name;
        bool v3;
        const char* notice;
    };
    const Row rows[] = {
        { "run-task socket dropped", false, "error: Streaming failed, fallback to Apple STT" },
        { "v3 connection dropped", true, "error: v3 streaming failed, fallback to Apple STT" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        outcomes.clear();
        captured.clear();
        if (row.v3) {
            openSession();
            m_v3.script().dropAfterPieces = 4;
        } else {
            m_runTask.script().dropAfterPieces = 4;
        }
        m_recognizer->queue(PresetRecognitionOutcome::recognised(QStringLiteral("heard on the device")));
        m_recognizer->setHeld(true);
        ASSERT_TRUE(m_engine->startStreamingRecord());
        speak(6);
        ASSERT_TRUE(waitUntil([&] {
            const test::MockRunTaskRoute::Client* client = m_runTask.lastClient();
            return row.v3 ? !session()->isInTurn()
                          : client && client->pieceSizes.size() == 4 && !client->connection->isOpen();
        }));
        m_clock.advance(2000);
        m_engine->stopStreamingRecord();
        ASSERT_TRUE(waitUntil([this] { return m_recognizer->inFlight() == 1; }));
        const QString backup = m_recognizer->requests().back().wavPath;
        expectPrivateTakeFile(backup, CloudTranscribe::buildWAV(captured, 16000));
        EXPECT_EQ(captured.size(), 6 * 4096 * 2);
        m_recognizer->release();
        m_recognizer->setHeld(false);
        ASSERT_TRUE(waitUntil([this] { return outcomes.size() >= 2; }));

        EXPECT_EQ(outcomes, (QStringList { QLatin1String(row.notice), QStringLiteral("result: heard on the device") }));
        expectTakeFilesGone(backup);
        m_engine->streaming().discard();
    }
}

TEST_F(SpeechEngineTakeTest, EveryOtherFailureStillEndsTheTakeInOneOutcome)
{
    using Script = test::MockRunTaskRoute::Script;
    const QString notice = QStringLiteral("error: Streaming failed, fallback to Apple STT");
    const QString heard = QStringLiteral("result: on device");
    struct Row {
        const char* name;
        std::function<void(Script&)> arrange;
        bool recogniserHears;
        bool workerStaysSilent;
        QStringList expected;
    };
    const Row rows[] = {
        { "the worker refuses the token", [](Script& s) { s.token = QStringLiteral("other"); }, true, false,
            { notice, heard } },
        { "the task fails", [](Script& s) { s.taskFailure = QStringLiteral("quota"); }, true, false,
            { notice, heard } },
        { "the worker never answers the finish", [](Script& s) { s.answerFinishTask = false; }, true, true,
            { notice, heard } },
        { "the recogniser hears nothing", [](Script& s) { s.taskFailure = QStringLiteral("quota"); }, false, false,
            { notice, QStringLiteral("error: Recognition failed: No speech detected") } },
        { "the task finishes without a sentence", [](Script& s) { s.sentences.clear(); }, true, false,
            { QStringLiteral("error: Cloud STT: no speech detected") } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Script& script = m_runTask.script();
        script = {};
        script.token = QStringLiteral("tok");
        row.arrange(script);
        outcomes.clear();
        if (row.recogniserHears) {
            m_recognizer->queue(PresetRecognitionOutcome::recognised(QStringLiteral("on device")));
        }
        const std::size_t clientsBefore = m_runTask.clients().size();
        ASSERT_TRUE(m_engine->startStreamingRecord());
        speak(3);
        m_clock.advance(1000);
        m_engine->stopStreamingRecord();
        if (row.workerStaysSilent) {
            // The finish is out and its wait armed in the same step; the engine's limit then gives the worker up.
            ASSERT_TRUE(waitUntil([&] {
                return m_runTask.clients().size() > clientsBefore && m_runTask.clients().back()->taskFinished;
            }));
            m_clock.advance(RunTaskStreamer::resultLimitMs);
        }
        ASSERT_TRUE(waitUntil([&] { return outcomes.size() >= row.expected.size(); }));
        // Nothing more follows the outcome.
        EXPECT_FALSE(waitUntil([&] { return outcomes.size() > row.expected.size(); }, 100));
        EXPECT_EQ(outcomes, row.expected);
    }
}

TEST_F(SpeechEngineTakeTest, AV3TurnThatEndsWithoutItsFinalStillEndsTheTakeInOneOutcome)
{
    using Script = test::MockTranscribeV3Route::Script;
    const QString fallback = QStringLiteral("error: v3 streaming failed, fallback to Apple STT");
    const QString heard = QStringLiteral("result: on device");
    struct Row {
        const char* name;
        std::function<void(Script&)> arrange;
        bool workerStaysSilent;
        bool sessionGone;
        QStringList expected;
    };
    const Row rows[] = {
        { "the worker reports an error",
            [](Script& s) {
                s.errorInsteadOfFinal = { QStringLiteral("busy"), QStringLiteral("overloaded") };
            },
            false, false, { QStringLiteral("error: Cloud STT error: busy — overloaded"), fallback, heard } },
        { "the final is empty", [](Script& s) { s.finalText.clear(); }, false, false,
            { QStringLiteral("error: Cloud STT: no speech detected") } },
        { "the final never comes", [](Script& s) { s.answerEndTurn = false; }, true, false, { fallback, heard } },
        { "the session is gone at the stop", [](Script&) {}, false, true,
            { QStringLiteral("error: v3 session lost") } },
    };
    openSession();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Script& script = m_v3.script();
        script = {};
        script.token = QStringLiteral("tok");
        row.arrange(script);
        outcomes.clear();
        m_recognizer->queue(PresetRecognitionOutcome::recognised(QStringLiteral("on device")));
        const std::size_t turnsBefore = m_v3.lastClient()->turns.size();
        ASSERT_TRUE(m_engine->startStreamingRecord());
        speak(3);
        m_clock.advance(1000);
        if (row.sessionGone) {
            m_engine->streaming().discard();
        }
        m_engine->stopStreamingRecord();
        if (row.workerStaysSilent) {
            // The end of turn is out and its wait armed in the same step; the engine's limit then gives it up.
            ASSERT_TRUE(waitUntil([&] {
                const auto& turns = m_v3.lastClient()->turns;
                return turns.size() > turnsBefore && turns.back().ended;
            }));
            m_clock.advance(FinalTextWaiter::defaultLimitMs);
        }
        ASSERT_TRUE(waitUntil([&] { return outcomes.size() >= row.expected.size(); }));
        EXPECT_FALSE(waitUntil([&] { return outcomes.size() > row.expected.size(); }, 100));
        EXPECT_EQ(outcomes, row.expected);
        if (session()) {
            ASSERT_TRUE(waitUntil([this] { return session()->isReady(); }));
        }
    }
}

TEST_F(SpeechEngineTakeTest, DeviceFramesAreExpandedToTakePcmAndStreamedOnlyWhileATakeRuns)
{
    QByteArray frame(160, Qt::Uninitialized);
    for (int i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<char>(i * 3);
    }
    m_engine->feedStreamingBLEChunk(frame);
    ASSERT_TRUE(m_engine->startStreamingBLERecord());
    EXPECT_FALSE(m_engine->isListening());
    QByteArray whole;
    for (int i = 0; i < 25; ++i) {
        m_engine->feedStreamingBLEChunk(frame);
        whole.append(frame);
    }
    // Frame by frame as the whole take at once: the joins are interpolated, not held.
    const QByteArray expected = CloudTranscribe::resample8to16(CloudTranscribe::decodeMulaw(whole));
    m_clock.advance(500);
    m_engine->stopStreamingRecord();
    ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));
    EXPECT_EQ(m_runTask.lastClient()->audio, expected);
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("result: hello world") });
    EXPECT_TRUE(m_microphone.isNull());
}

// A take that a new one replaces is given up whole: its socket closes and nothing of it comes back, so the new take
// ends in its own outcome alone.
TEST_F(SpeechEngineTakeTest, AStartWhileATakeRunsGivesThatTakeUpWithoutAnOutcome)
{
    ASSERT_TRUE(m_engine->startStreamingBLERecord());
    m_engine->feedStreamingBLEChunk(QByteArray(4000, '\x55'));
    ASSERT_TRUE(waitUntil([this] { return m_runTask.clients().size() == 1; }));
    m_clock.advance(500);
    ASSERT_TRUE(m_engine->startStreamingBLERecord());
    m_engine->feedStreamingBLEChunk(QByteArray(4000, '\x66'));
    m_clock.advance(500);
    m_engine->stopStreamingRecord();
    ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));
    EXPECT_FALSE(waitUntil([this] { return outcomes.size() > 1; }, 100));
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("result: hello world") });
    ASSERT_EQ(m_runTask.clients().size(), 2u);
    EXPECT_TRUE(waitUntil([this] { return !m_runTask.clients()[0]->connection->isOpen(); }));
    EXPECT_EQ(m_runTask.clients()[1]->audio.size(), 16000);
}

// A sound server that has not answered yet is asked again rather than taken for a missing microphone.
TEST_F(SpeechEngineTakeTest, PermissionWaitsForTheSoundServersFirstAnswer)
{
    auto answered = std::make_shared<bool>(false);
    SpeechEngine::Devices devices {
        [answered] {
            auto capture = std::make_unique<platform::FakeAudioCapture>();
            capture->setAccess(*answered ? platform::MicrophoneAccess { true, QStringLiteral("murmeli_microphone") }
                                         : platform::MicrophoneAccess { false, QStringLiteral("waiting"), true });
            return std::unique_ptr<platform::AudioCapture>(std::move(capture));
        },
        m_recognizer, m_dir.path()
    };
    SpeechEngine engine(*m_defaults, m_clock, std::move(devices));
    std::optional<bool> granted;
    engine.requestPermission([&](bool answer) { granted = answer; });
    QTimer::singleShot(250, [answered] { *answered = true; });
    ASSERT_TRUE(waitUntil([&] { return granted.has_value(); }));
    EXPECT_TRUE(*granted);
    EXPECT_EQ(engine.authStatus(), platform::RecognizerAuthorization::Authorized);
}

// Permission is asked again by each take: a microphone plugged in after the launch's refusal is used. The take's file
// is the user's own whatever others left in the temporary folder: a link where its folder would be, another user's
// file under the name takes once had.
TEST_F(SpeechEngineTakeTest, ABatchTakeIsRecordedToItsFileAndHeardOnTheDevice)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), m_dir.filePath(QStringLiteral("murmeli-takes-%1").arg(::geteuid()))));
    const QString predecessors = m_dir.filePath(QStringLiteral("murmeli-ptt.wav"));
    {
        QFile left(predecessors);
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
        left.write("left by another user");
    }
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(predecessors).constData(), 65534, 65534), 0);
    }
    m_engine->setActiveBackendId(QStringLiteral("apple-stt"));
    m_access = platform::MicrophoneAccess { false, QStringLiteral("no source") };
    std::optional<bool> granted;
    m_engine->requestPermission([&](bool answer) { granted = answer; });
    ASSERT_TRUE(waitUntil([&] { return granted.has_value(); }));
    EXPECT_FALSE(*granted);
    EXPECT_FALSE(m_engine->startRecording());
    m_access.reset();
    m_recognizer->queue(
        PresetRecognitionOutcome::recognised(QStringLiteral("batch words"), { QStringLiteral("batch") }));
    m_recognizer->setHeld(true);
    ASSERT_TRUE(m_engine->startRecording());
    EXPECT_TRUE(m_engine->isListening());
    speak(3);
    m_clock.advance(800);
    m_engine->stopRecording();
    ASSERT_TRUE(waitUntil([this] { return m_recognizer->inFlight() == 1; }));
    const QString file = m_recognizer->requests()[0].wavPath;
    expectPrivateTakeFile(file, CloudTranscribe::buildWAV(captured, 16000));
    m_recognizer->release();
    ASSERT_TRUE(waitUntil([this] { return ended(); }));

    EXPECT_EQ(outcomes,
        (QStringList { QStringLiteral("error: Speech permission denied"),
            QStringLiteral("error: Speech not authorized"), QStringLiteral("result: batch words") }));
    EXPECT_EQ(partials, (QStringList { QStringLiteral("batch"), QStringLiteral("batch words") }));
    ASSERT_EQ(m_recognizer->requests().size(), 1u);
    EXPECT_EQ(m_recognizer->requests()[0].locale, QStringLiteral("en_US"));
    EXPECT_EQ(m_engine->authStatus(), platform::RecognizerAuthorization::Authorized);
    EXPECT_DOUBLE_EQ(m_engine->lastRecordDuration(), 0.8);
    expectTakeFilesGone(file);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(test::readFile(predecessors), "left by another user");
}

TEST_F(SpeechEngineTakeTest, AnUploadedDeviceTakeEndsInItsTextOrFallsBackOrIsReported)
{
    using Answer = test::MockTranscribeRoute::Answer;
    struct Row {
        Answer answer;
        QStringList expected;
        int minutesReported;
        const char* backendAfter;
    };
    const Row rows[] = {
        { Answer::Transcript, { QStringLiteral("result: mock transcript") }, 37, "murmeli-cloud" },
        // The refused token reaches the account side and the take says why, rather than ending in nothing.
        { Answer::Unauthorized,
            { QStringLiteral("auth: token revoked"), QStringLiteral("error: 激活失败: token revoked") }, -1,
            "murmeli-cloud" },
        { Answer::ServerError, { QStringLiteral("result: on device") }, -1, "murmeli-cloud" },
        { Answer::QuotaExceeded, { QStringLiteral("result: on device") }, 0, "apple-stt" },
    };
    int minutes = -1;
    m_engine->onCloudMinutesUpdate = [&](int left) { minutes = left; };
    m_engine->onCloudAuthError = [this](const QString& reason) { outcomes.append(QStringLiteral("auth: ") + reason); };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.answer));
        m_engine->setActiveBackendId(QStringLiteral("murmeli-cloud"));
        m_engine->setPreferStreaming(false);
        m_upload.script().answer = row.answer;
        m_recognizer->queue(PresetRecognitionOutcome::recognised(QStringLiteral("on device")));
        outcomes.clear();
        minutes = -1;
        m_engine->transcribePCM(QByteArray(2000, '\x22'));
        ASSERT_TRUE(waitUntil([&] { return outcomes.size() >= row.expected.size(); }));
        EXPECT_EQ(outcomes, row.expected);
        EXPECT_EQ(minutes, row.minutesReported);
        EXPECT_EQ(m_engine->activeBackendId(), QLatin1String(row.backendAfter));
        // 1000 samples at 8 kHz become 2000 at 16 kHz behind the 44-byte header.
        const test::MockTranscribeRoute::Part* audio = m_upload.uploads().back().part(QStringLiteral("audio"));
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(audio->data.size(), 44 + 4000);
    }
}

// A take's file is read for the upload within a bound, as every file murmeli reads: one over it is not read, and the
// take ends saying so.
TEST_F(SpeechEngineTakeTest, ATakeFileOverTheUploadBoundIsNotReadAndTheTakeSaysSo)
{
    m_engine->setActiveBackendId(QStringLiteral("murmeli-cloud"));
    m_engine->setPreferStreaming(false);
    const QString path = m_dir.filePath(QStringLiteral("take.wav"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(CloudTranscribeClient::maxWavFileBytes + 1));
    file.close();
    m_engine->dispatch(path, std::nullopt, STTContext {});
    ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("error: Failed to read audio file") });
    EXPECT_TRUE(m_upload.uploads().empty());
}

TEST_F(SpeechEngineTakeTest, WithoutACaptureDeviceOrAStartingCaptureNoTakeRuns)
{
    QStringList logs;
    m_engine->onLog = [&](const QString& line, common::LogColor) { logs.append(line); };
    // The socket opened ahead of the take is the one the take uses, and it does not stay open when the take fails.
    m_engine->sockets().preconnectIfNeeded();
    ASSERT_TRUE(waitUntil([this] { return m_runTask.lastClient() && m_runTask.lastClient()->connection->isOpen(); }));
    m_failNextStart = true;
    EXPECT_FALSE(m_engine->startStreamingRecord());
    EXPECT_FALSE(m_engine->isStreamingMode());
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("error: AudioEngine failed: device busy") });
    ASSERT_TRUE(waitUntil([this] { return m_runTask.lastClient()->connection->clientCloseCode() == 1000; }));
    EXPECT_EQ(m_runTask.clients().size(), 1u);

    outcomes.clear();
    SpeechEngine::Devices devices { [] {
                                       auto capture = std::make_unique<platform::FakeAudioCapture>();
                                       capture->setAccess({ false, QStringLiteral("no capture device") });
                                       return std::unique_ptr<platform::AudioCapture>(std::move(capture));
                                   },
        m_recognizer, m_dir.path() };
    SpeechEngine deaf(*m_defaults, m_clock, std::move(devices));
    deaf.onError = m_engine->onError;
    deaf.onLog = m_engine->onLog;
    bool answered = false;
    bool granted = true;
    deaf.requestPermission([&](bool answer) {
        answered = true;
        granted = answer;
    });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_FALSE(granted);
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("error: Speech permission denied") });
    EXPECT_TRUE(logs.filter(QStringLiteral("no capture device")).size() == 1) << logs.join('\n').toStdString();
}

TEST_F(SpeechEngineTakeTest, AMicrophoneLostMidTakeIsLoggedAndTheTakeEndsWithWhatItHeard)
{
    QStringList logs;
    m_engine->onLog = [&](const QString& line, common::LogColor) { logs.append(line); };
    bool granted = false;
    m_engine->requestPermission([&](bool answer) { granted = answer; });
    ASSERT_TRUE(waitUntil([&] { return granted; }));
    struct Row {
        const char* name;
        bool streaming;
        QString heard;
    };
    const Row rows[] = {
        { "batch", false, QStringLiteral("result: on device") },
        { "streaming", true, QStringLiteral("result: hello world") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        logs.clear();
        outcomes.clear();
        captured.clear();
        m_engine->setActiveBackendId(QString::fromLatin1(row.streaming ? "cloud-streaming" : "apple-stt"));
        m_recognizer->queue(PresetRecognitionOutcome::recognised(QStringLiteral("on device")));
        ASSERT_TRUE(row.streaming ? m_engine->startStreamingRecord() : m_engine->startRecording());
        speak(2);
        m_microphone->fail(QStringLiteral("device unplugged"));
        EXPECT_EQ(logs, QStringList { QStringLiteral("Audio: capture failed: device unplugged") });
        m_clock.advance(1000);
        row.streaming ? m_engine->stopStreamingRecord() : m_engine->stopRecording();
        ASSERT_TRUE(waitUntil([this] { return !outcomes.isEmpty(); }));
        EXPECT_FALSE(waitUntil([this] { return outcomes.size() > 1; }, 100));
        EXPECT_EQ(outcomes, QStringList { row.heard });
    }
    // The streamed take carried every byte heard before the loss.
    EXPECT_EQ(m_runTask.lastClient()->audio, captured);
    EXPECT_EQ(captured.size(), 2 * 4096 * 2);
}

// Where no file of the take can be made, the take says so rather than handing the recogniser a file that is not
// there; only the upload, which goes from the bytes, still hears it.
TEST_F(SpeechEngineTakeTest, ATakeWhoseFileCannotBeWrittenSaysSo)
{
    QFile blocker(m_dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SpeechEngine::Devices devices { [this] { return makeCapture(); }, m_recognizer, blocker.fileName() };
    SpeechEngine engine(*m_defaults, m_clock, std::move(devices));
    engine.setCloudToken(QStringLiteral("tok"));
    engine.setCloudWorkerURL(m_worker.baseUrl());
    engine.onResult = [this](const QString& text) { outcomes.append(QStringLiteral("result: ") + text); };
    engine.onError = [this](const QString& text) { outcomes.append(QStringLiteral("error: ") + text); };
    QStringList logs;
    engine.onLog = [&logs](const QString& message, common::LogColor) { logs << message; };
    bool granted = false;
    engine.requestPermission([&](bool answer) { granted = answer; });
    ASSERT_TRUE(waitUntil([&] { return granted; }));

    engine.setActiveBackendId(QStringLiteral("apple-stt"));
    EXPECT_FALSE(engine.startRecording());
    engine.transcribePCM(QByteArray(2000, '\x22'));
    engine.setActiveBackendId(QStringLiteral("murmeli-cloud"));
    engine.setPreferStreaming(false);
    engine.transcribePCM(QByteArray(2000, '\x22'));
    ASSERT_TRUE(waitUntil([this] { return outcomes.size() == 3; }));
    EXPECT_TRUE(outcomes[0].startsWith(QLatin1String("error: Mic init failed: no private folder for the take")));
    EXPECT_TRUE(outcomes[1].startsWith(QLatin1String("error: Failed to write audio file: no private folder")));
    EXPECT_EQ(outcomes[2], QStringLiteral("result: mock transcript"));
    EXPECT_TRUE(m_recognizer->requests().empty());
    EXPECT_EQ(logs.filter(QStringLiteral("Speech: no private folder")).size(), 2);
}

} // namespace
} // namespace murmeli::voice
