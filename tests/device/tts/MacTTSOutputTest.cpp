#include "main/device/tts/MacTTSOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <span>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "main/device/codec/ADPCMEncoder.h"
#include "main/device/tts/SayTTSBackend.h"
#include "main/device/tts/TTSEngine.h"
#include "platform/audio/AudioPlayerFactory.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "tests/support/SpeakerTest.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using platform::FakeAudioPlayer;

TEST(MacTTSOutputTest, ThePhraseIsDecodedAndStartedOrItsFailureLogged)
{
    auto fake = std::make_unique<FakeAudioPlayer>();
    FakeAudioPlayer& player = *fake;
    device::MacTTSOutput output(std::move(fake));
    QStringList log;
    output.onLog = [&log](const QString& message, common::LogColor) { log << message; };
    // play() is done once the sound has started: it never waits for the end.
    const QByteArray tone = device::TTSEngine::generateSynthTone(500, 440.0);
    const auto play = [&] { return test::keepResult(output.play(tone).then([] { return true; }))->has_value(); };

    EXPECT_TRUE(play());
    ASSERT_EQ(player.played().size(), 1u);
    device::ADPCMEncoder::State fresh;
    EXPECT_EQ(player.played().front().pcm, device::ADPCMEncoder::decode(tone, fresh));
    EXPECT_EQ(player.played().front().format, platform::AudioFormat::take());
    player.fail(QStringLiteral("the sound server did not play it in time"));
    player.failNextPlay(QStringLiteral("device busy"));
    EXPECT_TRUE(play());
    player.setAvailable(false);
    EXPECT_TRUE(play());
    EXPECT_EQ(log,
        (QStringList { "TTS: playing on the computer speaker (8000 samples)",
            "TTS: speaker playback failed: the sound server did not play it in time",
            "TTS: speaker playback failed: device busy", "TTS: speaker playback failed: no audio output device" }));

    player.setAvailable(true);
    EXPECT_TRUE(play());
    output.stop();
    EXPECT_FALSE(player.isPlaying());
}

class MacTTSOutputSpeakerTest : public test::SpeakerTest {
protected:
    // How many 100 ms windows from `from` on are loud enough to be speech rather than the silence of an idle sink.
    int loudWindows(qsizetype from)
    {
        const std::vector<qint16> heard = samples();
        const qsizetype window = sampleRate / 10;
        int loud = 0;
        for (qsizetype start = from; start + window <= qsizetype(heard.size()); start += window) {
            double energy = 0;
            for (const qint16 sample : std::span(heard).subspan(start, window)) {
                energy += double(sample) * sample;
            }
            loud += std::sqrt(energy / window) > 300.0 ? 1 : 0;
        }
        return loud;
    }
};

TEST_F(MacTTSOutputSpeakerTest, ASpokenPhraseReachesTheSpeakerOfTheTestDesktop)
{
    if (QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty()) {
        GTEST_SKIP() << "espeak-ng is not installed (scripts/setup installs it)";
    }
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    device::TTSEngine engine(defaults);
    QStringList log;
    engine.onLog = [&log](const QString& message, common::LogColor) { log << message; };
    auto speaker = std::make_shared<device::MacTTSOutput>(platform::makeAudioPlayer());
    speaker->onLog = engine.onLog;
    engine.setBackends({ std::make_shared<device::SayTTSBackend>() });
    engine.setOutputs({ speaker });
    engine.setEnabled(true);
    const auto spoken
        = test::keepResult(engine.speak(QStringLiteral("Done. 3 bash, 2 read")).then([] { return true; }));
    ASSERT_TRUE(test::waitUntil([&] { return spoken->has_value(); }, 10000));
    // Synthesised, not the tone of a failed synthesis, and started on the speaker.
    ASSERT_EQ(log.size(), 3) << log.join('\n').toStdString();
    EXPECT_TRUE(log.at(1).startsWith(QStringLiteral("TTS: encoded "))) << log.at(1).toStdString();
    EXPECT_TRUE(log.at(2).startsWith(QStringLiteral("TTS: playing on the computer speaker (")))
        << log.at(2).toStdString();

    // The phrase lasts well over a second: half a second of it heard is proof that it came through. It is heard out
    // before the speaker is handed on, or its tail would sound in the next test's recording.
    const auto heardOut = [&] {
        const qsizetype quietFrom = qsizetype(samples().size()) - sampleRate * 8 / 10;
        return loudWindows(heardFrom()) >= 5 && quietFrom > heardFrom() && loudWindows(quietFrom) == 0;
    };
    EXPECT_TRUE(test::waitUntil(heardOut, 8000))
        << loudWindows(heardFrom()) << " loud windows, log: " << log.join('\n').toStdString();
}
