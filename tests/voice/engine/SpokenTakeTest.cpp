// A spoken sentence end to end with no cloud: flite says it, murmeli records the take (through the sound server
// and the real capture on the test desktop, or through the fake microphone anywhere), the take stops, dispatch picks
// the on-device recogniser, and the text that comes back is compared word by word with what was said.

#include "main/voice/engine/SpeechEngine.h"

#include <memory>

#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/audio/WavFile.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/recognizer/SpeechRecognizerFactory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/SpeakerLock.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {
namespace {

using test::waitUntil;

// Sentences and voice the packaged US English model hears word for word from a file; through the take's capture and
// conversion (and, on the desktop, the sound server) a word may still slip.
constexpr double requiredWordAccuracy = 0.75;
constexpr int recognitionLimitMs = 60000;

class SpokenTakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("flite")).isEmpty()) {
            GTEST_SKIP() << "flite is not installed";
        }
        m_recognizer = platform::makeSpeechRecognizer();
        if (!m_recognizer->isAvailable() || !m_recognizer->supportsLocale(QStringLiteral("en-US"))) {
            GTEST_SKIP() << "no on-device recogniser with a US English model ("
                         << m_recognizer->backendName().toStdString() << ")";
        }
        m_defaults = std::make_unique<platform::Defaults>(m_dir.filePath(QStringLiteral("defaults.json")));
    }

    std::unique_ptr<SpeechEngine> makeEngine(
        common::Clock& clock, MicrophoneCapture::Factory capture, const QString& locale = QStringLiteral("en_US"))
    {
        auto engine = std::make_unique<SpeechEngine>(*m_defaults, clock,
            SpeechEngine::Devices { std::move(capture), std::move(m_recognizer), m_dir.path() },
            [locale] { return locale; });
        engine->setActiveBackendId(QStringLiteral("apple-stt"));
        engine->onResult = [this](const QString& text) { m_outcomes.append(QStringLiteral("result: ") + text); };
        engine->onError = [this](const QString& text) { m_outcomes.append(QStringLiteral("error: ") + text); };
        engine->onPartialText = [this](const QString& text) { m_partials.append(text); };
        engine->onLog = [this](const QString& line, common::LogColor) { m_log.append(line); };
        bool granted = false;
        engine->requestPermission([&](bool answer) { granted = answer; });
        EXPECT_TRUE(waitUntil([&] { return granted; }));
        return engine;
    }

    // The sentence as the tests' voice says it, in a WAV file.
    QString speak(const QString& sentence, const QString& name)
    {
        const QString path = m_dir.filePath(name);
        const QString failure = test::SpokenAudio::speakToWav(sentence, path);
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
        return path;
    }

    // One take of the file through the fake microphone and the engine, in the system locale given; the engine lives
    // on until the next take so that its outcome can still arrive.
    void takeFromFakeMicrophone(const QString& wav, const QString& locale)
    {
        QPointer<platform::FakeAudioCapture> microphone;
        m_engine = makeEngine(
            m_clock,
            [&] {
                auto capture = std::make_unique<platform::FakeAudioCapture>();
                EXPECT_TRUE(capture->loadWav(wav)) << capture->errorString().toStdString();
                capture->setSpeed(0);
                microphone = capture.get();
                return std::unique_ptr<platform::AudioCapture>(std::move(capture));
            },
            locale);
        ASSERT_TRUE(m_engine->startRecording());
        ASSERT_TRUE(microphone);
        microphone->deliverRest();
        // A moment of silence after the words, as a speaker lets go of the key.
        microphone->deliver(4);
        m_clock.advance(3000);
        m_engine->stopRecording();
    }

    void expectHeard(const QString& sentence)
    {
        ASSERT_TRUE(waitUntil([this] { return !m_outcomes.isEmpty(); }, recognitionLimitMs));
        ASSERT_EQ(m_outcomes.size(), 1) << m_outcomes.join('\n').toStdString();
        ASSERT_TRUE(m_outcomes[0].startsWith(QLatin1String("result: "))) << m_outcomes[0].toStdString();
        const QString heard = m_outcomes[0].mid(8);
        EXPECT_GE(test::SpokenAudio::wordAccuracy(sentence, heard), requiredWordAccuracy)
            << "said \"" << sentence.toStdString() << "\", heard \"" << heard.toStdString() << "\"";
    }

    QTemporaryDir m_dir;
    std::unique_ptr<platform::Defaults> m_defaults;
    std::unique_ptr<platform::SpeechRecognizer> m_recognizer;
    test::FakeClock m_clock;
    std::unique_ptr<SpeechEngine> m_engine;
    QStringList m_outcomes;
    QStringList m_partials;
    QStringList m_log;
};

TEST_F(SpokenTakeTest, ASentenceFromTheFakeMicrophoneIsHeardOnTheDevice)
{
    for (const QString& sentence : test::SpokenAudio::recognisableSentences().first(3)) {
        SCOPED_TRACE(sentence.toStdString());
        takeFromFakeMicrophone(speak(sentence, QStringLiteral("said.wav")), QStringLiteral("en_US"));
        expectHeard(sentence);
        m_outcomes.clear();
        m_recognizer = platform::makeSpeechRecognizer();
    }
}

TEST_F(SpokenTakeTest, ADictatedTakeKeepsTheDevelopersWordsAndAnotherLanguageIsRefusedNotMisheard)
{
    // Neither word is in the stock dictionary, and the sentence is not a line of the dictation model's text.
    const QString sentence = QStringLiteral("add a docstring to the async function");
    const QString wav = speak(sentence, QStringLiteral("dictated.wav"));
    for (const QString& locale : { QStringLiteral("en_US"), QStringLiteral("de_DE") }) {
        SCOPED_TRACE(locale.toStdString());
        takeFromFakeMicrophone(wav, locale);
        ASSERT_TRUE(waitUntil([this] { return !m_outcomes.isEmpty(); }, recognitionLimitMs));
        if (locale == QLatin1String("en_US")) {
            expectHeard(sentence);
            const QStringList heard = m_outcomes.value(0).mid(8).split(QLatin1Char(' '));
            EXPECT_TRUE(heard.contains(QLatin1String("docstring")) && heard.contains(QLatin1String("async")))
                << m_outcomes.value(0).toStdString();
            // The words came in while the take was decoded, before the final text.
            EXPECT_GE(m_partials.size(), 2) << m_partials.join(" | ").toStdString();
        } else {
            EXPECT_EQ(m_outcomes,
                QStringList { "error: Recognition failed: On-device recognition is not available for de_DE" });
        }
        m_outcomes.clear();
        m_partials.clear();
        m_recognizer = platform::makeSpeechRecognizer();
    }
}

TEST_F(SpokenTakeTest, ASentencePlayedIntoTheSoundServerIsHeardThroughTheRealCapture)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    if (QStandardPaths::findExecutable(QStringLiteral("paplay")).isEmpty()) {
        GTEST_SKIP() << "paplay is not installed";
    }
    const QString sentence = test::SpokenAudio::recognisableSentences().value(2);
    const QString wav = speak(sentence, QStringLiteral("said.wav"));
    const test::SpeakerLock speaker;
    ASSERT_TRUE(speaker.isHeld()) << "another test kept the speaker";
    common::SystemClock clock;
    std::unique_ptr<SpeechEngine> engine = makeEngine(clock, {});
    // The desktop's default input is its speaker's monitor, described as "Microphone".
    EXPECT_TRUE(m_log.contains(QStringLiteral("Speech: recognition permitted, capturing from Microphone")))
        << m_log.join('\n').toStdString();
    ASSERT_TRUE(engine->startRecording());
    ASSERT_EQ(engine->takeFiles().files().size(), 1);
    const QFileInfo recording(engine->takeFiles().files().first());
    const auto recordedBytes = [&] {
        QFileInfo now(recording);
        now.refresh();
        return now.size();
    };
    // The capture runs once audio comes in; what is played before that would be lost.
    ASSERT_TRUE(waitUntil([&] { return recordedBytes() > 44 + 3200; }, 10000)) << "the capture hears nothing";
    const qint64 before = recordedBytes();

    QProcess player;
    player.start(QStringLiteral("paplay"), { wav });
    ASSERT_TRUE(player.waitForStarted(5000)) << player.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return player.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().constData();
    // Everything played, and half a second more, has come through the sink's monitor into the file.
    const std::optional<platform::WavAudio> played = platform::WavFile::read(wav);
    ASSERT_TRUE(played);
    const qint64 playedBytes
        = played->pcm.size() / played->format.bytesPerFrame() * 2 * 16000 / played->format.sampleRate;
    ASSERT_TRUE(waitUntil([&] { return recordedBytes() >= before + playedBytes + 16000; }, 10000));
    engine->stopRecording();
    expectHeard(sentence);
}

} // namespace
} // namespace murmeli::voice
