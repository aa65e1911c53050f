#include <gtest/gtest.h>

#include <QStringList>

#include "platform/audio/fake/FakeAudioPlayer.h"
#include "tests/support/Tone.h"

namespace {

using murmeli::platform::AudioFormat;
using murmeli::platform::FakeAudioPlayer;

const AudioFormat take = AudioFormat::take();
const QByteArray tone = murmeli::test::makeTone(440, 16000, 50, 0.3);

TEST(FakeAudioPlayerTest, RefusesWhatTheRealPlayerCouldNotStart)
{
    struct Case {
        bool available;
        QString deviceError;
        AudioFormat format;
        QByteArray pcm;
        const char* error;
    };
    const Case cases[] = {
        { false, {}, take, tone, "no audio output device" },
        { true, "busy", take, tone, "busy" },
        { true, {}, AudioFormat { 0, 1 }, tone, "nothing to play" },
        { true, {}, AudioFormat { 16000, 2 }, "abc", "nothing to play" },
    };
    for (const Case& c : cases) {
        FakeAudioPlayer player;
        player.setAvailable(c.available);
        player.failNextPlay(c.deviceError);
        EXPECT_FALSE(player.play(c.format, c.pcm)) << c.error;
        EXPECT_TRUE(player.errorString().contains(QLatin1String(c.error))) << player.errorString().toStdString();
        EXPECT_TRUE(player.played().empty());
        EXPECT_FALSE(player.isPlaying());
    }
    EXPECT_FALSE(FakeAudioPlayer().playFile(QStringLiteral("/nonexistent/cue.wav")));
}

TEST(FakeAudioPlayerTest, RecordsEachSoundAndEndsItAsTheTestSays)
{
    FakeAudioPlayer player;
    QStringList ends;
    QObject::connect(&player, &FakeAudioPlayer::finished, [&] { ends << "finished"; });
    QObject::connect(&player, &FakeAudioPlayer::failed, [&](const QString& error) { ends << error; });

    const AudioFormat stereo { 44100, 2 };
    ASSERT_TRUE(player.play(stereo, murmeli::test::makeTone(stereo, 440, 100, 0.3)));
    // A second sound cuts the first short without a signal for it.
    ASSERT_TRUE(player.play(take, tone));
    player.finish();
    player.finish();
    ASSERT_TRUE(player.play(take, tone));
    player.fail("device gone");
    player.stop();

    ASSERT_EQ(player.played().size(), 3u);
    EXPECT_EQ(player.played()[0].format, stereo);
    EXPECT_EQ(player.played()[1].pcm, tone);
    EXPECT_EQ(ends, QStringList({ "finished", "device gone" }));
    EXPECT_EQ(player.errorString(), "device gone");
    EXPECT_EQ(player.stopCount(), 1);
}

} // namespace
