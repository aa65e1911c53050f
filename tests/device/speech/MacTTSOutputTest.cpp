#include "main/device/speech/MacTTSOutput.h"

#include <gtest/gtest.h>

#include <memory>

#include "main/device/codec/ADPCMEncoder.h"
#include "main/device/speech/TTSEngine.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "tests/support/TaskResult.h"

using namespace murmeli;
using platform::FakeAudioPlayer;

namespace {

struct Speaker {
    FakeAudioPlayer* player = nullptr;
    std::unique_ptr<device::MacTTSOutput> output;
    QStringList log;

    Speaker()
    {
        auto fake = std::make_unique<FakeAudioPlayer>();
        player = fake.get();
        output = std::make_unique<device::MacTTSOutput>(std::move(fake));
        output->onLog = [this](const QString& message, common::LogColor) { log << message; };
    }

    // Whether play() completed without waiting for anything.
    bool play(const QByteArray& adpcm)
    {
        return test::keepResult([](device::MacTTSOutput& out, QByteArray bytes) -> QCoro::Task<bool> {
            co_await out.play(std::move(bytes));
            co_return true;
        }(*output, adpcm))
            ->has_value();
    }
};

} // namespace

TEST(MacTTSOutputTest, ThePhraseIsDecodedAndStartedOrTheFailureLogged)
{
    const QByteArray tone = device::TTSEngine::generateSynthTone(500, 440.0);
    struct Case {
        const char* name;
        bool deviceThere;
        QString refusal;
        QString logged;
    };
    const Case cases[] = {
        { "started", true, QString(), QStringLiteral("TTS: playing on Mac speaker (8000 samples)") },
        { "refused", true, QStringLiteral("device busy"), QStringLiteral("TTS: Mac playback failed: device busy") },
        { "no device", false, QString(), QStringLiteral("TTS: Mac playback failed: no audio output device") },
    };
    for (const Case& c : cases) {
        Speaker speaker;
        speaker.player->setAvailable(c.deviceThere);
        if (!c.refusal.isEmpty()) {
            speaker.player->failNextPlay(c.refusal);
        }
        EXPECT_TRUE(speaker.play(tone)) << c.name;
        EXPECT_EQ(speaker.log, QStringList { c.logged }) << c.name;
        const bool started = !speaker.player->played().empty();
        EXPECT_EQ(started, speaker.player->isPlaying()) << c.name;
        if (started) {
            device::ADPCMEncoder::State state;
            EXPECT_EQ(speaker.player->played().front().pcm, device::ADPCMEncoder::decode(tone, state));
            EXPECT_EQ(speaker.player->played().front().format, platform::AudioFormat::take());
        }
    }
}

TEST(MacTTSOutputTest, ASoundThatNeverReachesTheSpeakerIsLoggedAndStopCutsItShort)
{
    Speaker speaker;
    ASSERT_TRUE(speaker.play(QByteArray(400, '\x13')));
    speaker.player->fail(QStringLiteral("the sound server did not play it in time"));
    EXPECT_EQ(speaker.log.last(), QStringLiteral("TTS: Mac playback failed: the sound server did not play it in time"));

    ASSERT_TRUE(speaker.play(QByteArray(400, '\x13')));
    speaker.output->stop();
    EXPECT_FALSE(speaker.player->isPlaying());
    EXPECT_EQ(speaker.player->stopCount(), 1);
}
