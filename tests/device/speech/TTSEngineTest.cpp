#include "main/device/speech/TTSEngine.h"

#include <gtest/gtest.h>

#include <memory>

#include <QTemporaryDir>

#include "main/device/codec/ADPCMEncoder.h"
#include "tests/device/support/FakeTTS.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Tone.h"

using namespace murmeli;
using device::TTSEngine;
using test::FakeTTSBackend;
using test::RecordingTTSOutput;

namespace {

class TTSEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        engine.onLog = [this](const QString& message, common::LogColor) { log << message; };
        engine.setBackends({ backend });
        engine.setOutputs({ device, speaker });
        engine.setEnabled(true);
    }

    // Speaks and lets the fakes answer at once; whether the phrase ran to its end.
    bool speak(const QString& text)
    {
        return test::keepResult([](TTSEngine& tts, QString phrase) -> QCoro::Task<bool> {
            co_await tts.speak(std::move(phrase));
            co_return true;
        }(engine, text))
            ->has_value();
    }

    QTemporaryDir home;
    platform::Defaults defaults { home.filePath(QStringLiteral("defaults.json")) };
    TTSEngine engine { defaults };
    std::shared_ptr<FakeTTSBackend> backend = std::make_shared<FakeTTSBackend>();
    std::shared_ptr<RecordingTTSOutput> device = std::make_shared<RecordingTTSOutput>(QStringLiteral("ble-speaker"));
    std::shared_ptr<RecordingTTSOutput> speaker = std::make_shared<RecordingTTSOutput>(QStringLiteral("mac-speaker"));
    QStringList log;
};

QByteArray adpcmOf(const QByteArray& pcm)
{
    device::ADPCMEncoder::State state;
    return device::ADPCMEncoder::encode(pcm, state);
}

} // namespace

TEST_F(TTSEngineTest, SettingsLiveInTheDefaultsUnderTheSharedKeys)
{
    platform::Defaults fresh(home.filePath(QStringLiteral("fresh.json")));
    TTSEngine untouched(fresh);
    EXPECT_FALSE(untouched.isEnabled());
    EXPECT_FALSE(untouched.isMuted());
    EXPECT_EQ(untouched.activeBackendId(), QStringLiteral("apple-tts"));
    EXPECT_EQ(untouched.activeOutputId(), QStringLiteral("ble-speaker"));

    // The panel's mute switch writes the key itself; the engine reads it on every access.
    defaults.setValue(QStringLiteral("notch.tts.muted"), true);
    EXPECT_TRUE(engine.isMuted());
    engine.setActiveBackendId(QStringLiteral("other"));
    EXPECT_EQ(defaults.stringValue(QStringLiteral("ttsBackend")), QStringLiteral("other"));
    engine.setEnabled(false);
    EXPECT_EQ(defaults.boolValue(QStringLiteral("ttsEnabled")), false);
}

TEST_F(TTSEngineTest, SwitchedOffOrMutedNothingIsSynthesisedOrPlayed)
{
    engine.setMuted(true);
    engine.setEnabled(false);
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_TRUE(log.isEmpty());

    engine.setEnabled(true);
    const QString fifty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN");
    EXPECT_TRUE(speak(fifty));
    EXPECT_EQ(
        log, QStringList { QStringLiteral("TTS: muted (notch toggle), skipping \"0123456789abcdefghijklmnopqrst\"") });
    EXPECT_TRUE(backend->phrases.isEmpty());
    EXPECT_TRUE(device->played.empty() && speaker->played.empty());
}

TEST_F(TTSEngineTest, ThePhraseIsEncodedAndPlayedOnTheChosenOutput)
{
    const QString phrase = QStringLiteral("Approve. git push origin main --force please now");
    EXPECT_TRUE(speak(phrase));
    ASSERT_EQ(device->played.size(), 1u);
    EXPECT_EQ(device->played.front(), adpcmOf(*backend->pcm));
    EXPECT_EQ(log,
        (QStringList { QStringLiteral("TTS: \"Approve. git push origin main --force pl\""),
            QStringLiteral("TTS: encoded 800 bytes ADPCM via apple-tts") }));
    EXPECT_FALSE(engine.isSpeaking());
}

TEST_F(TTSEngineTest, OutputChoiceFallsBackToTheFirstAvailable)
{
    struct Case {
        const char* name;
        QString chosen;
        bool deviceConnected;
        bool speakerAvailable;
        QString expected; // "" for a dropped phrase
    };
    const Case cases[] = {
        { "device chosen and connected", QStringLiteral("ble-speaker"), true, true, QStringLiteral("ble-speaker") },
        { "device chosen, disconnected", QStringLiteral("ble-speaker"), false, true, QStringLiteral("mac-speaker") },
        { "speaker chosen", QStringLiteral("mac-speaker"), true, true, QStringLiteral("mac-speaker") },
        { "unknown id", QStringLiteral("nowhere"), true, true, QStringLiteral("ble-speaker") },
        { "nothing available", QStringLiteral("mac-speaker"), false, false, QString() },
    };
    for (const Case& c : cases) {
        device->played.clear();
        speaker->played.clear();
        log.clear();
        device->available = c.deviceConnected;
        speaker->available = c.speakerAvailable;
        engine.setActiveOutputId(c.chosen);
        EXPECT_TRUE(speak(QStringLiteral("Tool ran.")));
        const QString heard = !device->played.empty() ? device->id() : !speaker->played.empty() ? speaker->id() : "";
        EXPECT_EQ(heard, c.expected) << c.name;
        EXPECT_EQ(device->played.size() + speaker->played.size(), c.expected.isEmpty() ? 0u : 1u) << c.name;
        EXPECT_EQ(log.isEmpty(), c.expected.isEmpty()) << c.name;
    }
}

TEST_F(TTSEngineTest, PhrasesUnderSixteenCharactersAreSynthesisedOnce)
{
    const QString fifteen = QStringLiteral("Session ended..");
    const QString sixteen = QStringLiteral("Session started.");
    ASSERT_EQ(fifteen.size(), 15);
    ASSERT_EQ(sixteen.size(), 16);
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(speak(fifteen));
        EXPECT_TRUE(speak(sixteen));
    }
    EXPECT_EQ(backend->phrases, (QStringList { fifteen, sixteen, sixteen }));
    EXPECT_EQ(device->played.size(), 4u);
    EXPECT_EQ(device->played.at(2), device->played.at(0));
    // The kept phrase plays after its quoting line alone.
    EXPECT_EQ(log.at(4), QStringLiteral("TTS: \"Session ended..\""));
    EXPECT_TRUE(log.at(5).startsWith(QStringLiteral("TTS: \"Session started.")));

    // Choosing a backend, even the same one, forgets every kept phrase.
    engine.setActiveBackendId(engine.activeBackendId());
    EXPECT_TRUE(speak(fifteen));
    EXPECT_EQ(backend->phrases.size(), 4);
}

TEST_F(TTSEngineTest, APhraseWhileAnotherIsUnderWayIsDroppedSilently)
{
    backend->hold();
    const auto first = test::keepResult([](TTSEngine& tts) -> QCoro::Task<bool> {
        co_await tts.speak(QStringLiteral("First phrase"));
        co_return true;
    }(engine));
    EXPECT_TRUE(engine.isSpeaking());
    const QStringList before = log;
    EXPECT_TRUE(speak(QStringLiteral("Second phrase")));
    EXPECT_EQ(log, before);
    EXPECT_EQ(backend->phrases, QStringList { QStringLiteral("First phrase") });

    // Still busy while the device plays it.
    device->hold();
    backend->release();
    EXPECT_TRUE(engine.isSpeaking());
    EXPECT_TRUE(speak(QStringLiteral("Third phrase")));
    device->release();
    EXPECT_TRUE(first->has_value());
    EXPECT_FALSE(engine.isSpeaking());
    EXPECT_EQ(device->played.size(), 1u);

    EXPECT_TRUE(speak(QStringLiteral("Fourth phrase")));
    EXPECT_EQ(device->played.size(), 2u);
}

TEST_F(TTSEngineTest, FailedSynthesisPlaysTheToneAndNeverKeepsIt)
{
    backend->pcm = std::nullopt;
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_EQ(backend->phrases.size(), 2);
    ASSERT_EQ(device->played.size(), 2u);
    EXPECT_EQ(device->played.front(), TTSEngine::generateSynthTone(500, 440.0));
    EXPECT_TRUE(log.contains(QStringLiteral("TTS: apple-tts synthesis failed, using tone fallback")));
    EXPECT_FALSE(engine.isSpeaking());

    // Without any available backend the phrase goes unheard and the engine stays free.
    backend->available = false;
    log.clear();
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_EQ(log.last(), QStringLiteral("TTS: no backend available"));
    EXPECT_EQ(device->played.size(), 2u);
    EXPECT_FALSE(engine.isSpeaking());
}

TEST_F(TTSEngineTest, TheToneIsHalfASecondOf440Hz)
{
    const QByteArray tone = TTSEngine::generateSynthTone(500, 440.0);
    EXPECT_EQ(tone.size(), 4000);
    device::ADPCMEncoder::State state;
    const std::vector<qint16> samples = test::samplesOf(device::ADPCMEncoder::decode(tone, state));
    ASSERT_EQ(samples.size(), 8000u);
    EXPECT_GT(test::toneShare(samples, 440.0, TTSEngine::sampleRate), 0.95);
    EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), 12000, 600);
    EXPECT_TRUE(TTSEngine::generateSynthTone(0, 440.0).isEmpty());
}

TEST_F(TTSEngineTest, StopReachesEveryOutput)
{
    engine.stop();
    EXPECT_EQ(device->stops, 1);
    EXPECT_EQ(speaker->stops, 1);
}

TEST_F(TTSEngineTest, AnEngineThatGoesMidPhraseIsNotTouchedAfterwards)
{
    auto doomed = std::make_unique<TTSEngine>(defaults);
    doomed->setBackends({ backend });
    doomed->setOutputs({ speaker });
    backend->hold();
    const auto running = test::keepResult([](TTSEngine& tts) -> QCoro::Task<bool> {
        co_await tts.speak(QStringLiteral("Going away"));
        co_return true;
    }(*doomed));
    doomed.reset();
    backend->release();
    EXPECT_TRUE(running->has_value());
    EXPECT_TRUE(speaker->played.empty());
}
