#include "main/device/tts/TTSEngine.h"

#include <gtest/gtest.h>

#include <memory>

#include <QTemporaryDir>

#include "main/device/codec/ADPCMEncoder.h"
#include "tests/support/FakeTTS.h"
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

    // Starts the phrase; the result holds a value once speak() has returned.
    std::shared_ptr<std::optional<bool>> start(const QString& text)
    {
        return test::keepResult(engine.speak(text).then([] { return true; }));
    }
    bool speak(const QString& text) { return start(text)->has_value(); }

    QTemporaryDir home;
    platform::Defaults defaults { home.filePath(QStringLiteral("defaults.json")) };
    TTSEngine engine { defaults };
    std::shared_ptr<FakeTTSBackend> backend = std::make_shared<FakeTTSBackend>();
    std::shared_ptr<RecordingTTSOutput> device = std::make_shared<RecordingTTSOutput>(QStringLiteral("ble-speaker"));
    std::shared_ptr<RecordingTTSOutput> speaker = std::make_shared<RecordingTTSOutput>(QStringLiteral("mac-speaker"));
    QStringList log;
};

} // namespace

TEST_F(TTSEngineTest, SwitchedOffOrMutedNothingIsSynthesisedOrPlayed)
{
    // The panel's mute switch writes the shared key itself; the engine reads it on every phrase.
    defaults.setValue(QStringLiteral("notch.tts.muted"), true);
    defaults.setValue(QStringLiteral("ttsEnabled"), false);
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_TRUE(log.isEmpty());

    defaults.setValue(QStringLiteral("ttsEnabled"), true);
    EXPECT_TRUE(speak(QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN")));
    EXPECT_EQ(log, QStringList { "TTS: muted (notch toggle), skipping \"0123456789abcdefghijklmnopqrst\"" });
    EXPECT_TRUE(backend->phrases.isEmpty());
    EXPECT_TRUE(device->played.empty() && speaker->played.empty());
}

TEST_F(TTSEngineTest, OutputChoiceFallsBackToTheFirstAvailable)
{
    struct Case {
        QString chosen;
        bool deviceConnected;
        bool speakerAvailable;
        QString expected; // "" for a dropped phrase
    };
    const Case cases[] = {
        { "ble-speaker", true, true, "ble-speaker" },
        { "ble-speaker", false, true, "mac-speaker" },
        { "mac-speaker", true, true, "mac-speaker" },
        { "nowhere", true, true, "ble-speaker" },
        { "mac-speaker", false, false, "" },
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
        EXPECT_EQ(heard, c.expected) << c.chosen.toStdString();
        EXPECT_EQ(device->played.size() + speaker->played.size(), c.expected.isEmpty() ? 0u : 1u);
        EXPECT_EQ(log.isEmpty(), c.expected.isEmpty()) << c.chosen.toStdString();
    }
}

TEST_F(TTSEngineTest, PhrasesUnderSixteenCharactersAreSynthesisedOnce)
{
    const QString fifteen = QStringLiteral("Session ended..");
    const QString sixteen = QStringLiteral("Session started.");
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(speak(fifteen));
        EXPECT_TRUE(speak(sixteen));
    }
    EXPECT_EQ(backend->phrases, (QStringList { fifteen, sixteen, sixteen }));
    ASSERT_EQ(device->played.size(), 4u);
    device::ADPCMEncoder::State fresh;
    EXPECT_EQ(device->played.at(0), device::ADPCMEncoder::encode(*backend->pcm, fresh));
    EXPECT_EQ(device->played.at(2), device->played.at(0));
    // The kept phrase plays after its quoting line alone.
    EXPECT_EQ(
        log.mid(0, 2), (QStringList { "TTS: \"Session ended..\"", "TTS: encoded 800 bytes ADPCM via apple-tts" }));
    EXPECT_EQ(log.at(4), QStringLiteral("TTS: \"Session ended..\""));
    EXPECT_EQ(log.at(5), QStringLiteral("TTS: \"Session started.\""));

    // Choosing a backend, even the same one, forgets every kept phrase.
    engine.setActiveBackendId(QStringLiteral("apple-tts"));
    EXPECT_EQ(defaults.stringValue(QStringLiteral("ttsBackend")), QStringLiteral("apple-tts"));
    EXPECT_TRUE(speak(fifteen));
    EXPECT_EQ(backend->phrases.size(), 4);
}

TEST_F(TTSEngineTest, APhraseWhileAnotherIsUnderWayIsDroppedSilently)
{
    device->hold();
    const auto first = start(QStringLiteral("First phrase"));
    EXPECT_TRUE(engine.isSpeaking());
    const QStringList before = log;
    EXPECT_TRUE(speak(QStringLiteral("Second phrase")));
    EXPECT_EQ(log, before);
    EXPECT_EQ(backend->phrases, QStringList { "First phrase" });

    device->release();
    EXPECT_TRUE(first->has_value());
    EXPECT_FALSE(engine.isSpeaking());
    EXPECT_TRUE(speak(QStringLiteral("Third phrase")));
    EXPECT_EQ(device->played.size(), 2u);
}

TEST_F(TTSEngineTest, FailedSynthesisPlaysTheToneAndNeverKeepsIt)
{
    backend->pcm = std::nullopt;
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_EQ(backend->phrases.size(), 2);
    ASSERT_EQ(device->played.size(), 2u);
    device::ADPCMEncoder::State fresh;
    const std::vector<qint16> tone = test::samplesOf(device::ADPCMEncoder::decode(device->played.front(), fresh));
    EXPECT_EQ(tone.size(), 8000u);
    EXPECT_GT(test::toneShare(tone, 440.0, TTSEngine::sampleRate), 0.95);
    EXPECT_EQ(log.last(), QStringLiteral("TTS: apple-tts synthesis failed, using tone fallback"));

    // Without any available backend the phrase goes unheard and the engine stays free.
    backend->available = false;
    EXPECT_TRUE(speak(QStringLiteral("Done.")));
    EXPECT_EQ(log.last(), QStringLiteral("TTS: no backend available"));
    EXPECT_EQ(device->played.size(), 2u);
    EXPECT_FALSE(engine.isSpeaking());
}
