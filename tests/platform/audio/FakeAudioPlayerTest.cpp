#include <gtest/gtest.h>

#include <functional>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "platform/audio/WavFile.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "tests/support/Tone.h"

namespace {

using murmeli::platform::AudioFormat;
using murmeli::platform::FakeAudioPlayer;

const AudioFormat take = AudioFormat::take();

TEST(FakeAudioPlayerTest, RefusesWhatTheRealPlayerCouldNotStart)
{
    struct Case {
        const char* situation;
        std::function<void(FakeAudioPlayer&)> arrange;
        AudioFormat format;
        QByteArray pcm;
        const char* error;
    };
    const QByteArray tone = murmeli::test::makeTone(440, 16000, 50, 0.3);
    const Case cases[] = {
        { "no device", [](FakeAudioPlayer& p) { p.setAvailable(false); }, take, tone, "no audio output device" },
        { "a refusing device", [](FakeAudioPlayer& p) { p.failNextPlay("busy"); }, take, tone, "busy" },
        { "a format no converter reads", [](FakeAudioPlayer&) {}, AudioFormat { 0, 1 }, tone, "nothing to play" },
        { "less than one frame", [](FakeAudioPlayer&) {}, AudioFormat { 16000, 2 }, "abc", "nothing to play" },
    };
    for (const Case& c : cases) {
        FakeAudioPlayer player;
        c.arrange(player);
        EXPECT_FALSE(player.play(c.format, c.pcm)) << c.situation;
        EXPECT_TRUE(player.errorString().contains(QLatin1String(c.error))) << c.situation;
        EXPECT_TRUE(player.played().empty()) << c.situation;
        EXPECT_FALSE(player.isPlaying()) << c.situation;
    }
}

TEST(FakeAudioPlayerTest, RecordsEachSoundAndEndsItAsTheTestSays)
{
    QTemporaryDir dir;
    const AudioFormat stereo { 44100, 2 };
    const QByteArray pcm = murmeli::test::makeTone(stereo, 440, 100, 0.3);
    const QString path = dir.filePath(QStringLiteral("cue.wav"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(murmeli::platform::WavFile::header(stereo, quint32(pcm.size())) + pcm);
    file.close();

    FakeAudioPlayer player;
    QStringList ends;
    QObject::connect(&player, &FakeAudioPlayer::finished, [&] { ends << "finished"; });
    QObject::connect(&player, &FakeAudioPlayer::failed, [&](const QString& error) { ends << error; });

    ASSERT_TRUE(player.playFile(path));
    // A second sound cuts the first short without a signal for it.
    ASSERT_TRUE(player.play(take, murmeli::test::makeTone(440, 16000, 50, 0.3)));
    EXPECT_EQ(player.stopCount(), 1);
    player.finish();
    player.finish();
    ASSERT_TRUE(player.play(take, murmeli::test::makeTone(880, 16000, 50, 0.3)));
    player.fail("device gone");
    player.stop();

    ASSERT_EQ(player.played().size(), 3u);
    EXPECT_EQ(player.played()[0].file, path);
    EXPECT_EQ(player.played()[0].format, stereo);
    EXPECT_EQ(player.played()[0].pcm, pcm);
    EXPECT_TRUE(player.played()[1].file.isEmpty());
    EXPECT_EQ(ends, QStringList({ "finished", "device gone" }));
    EXPECT_EQ(player.errorString(), "device gone");
    EXPECT_EQ(player.stopCount(), 1);
    EXPECT_FALSE(player.playFile(dir.filePath(QStringLiteral("missing.wav"))));
}

} // namespace
