#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <QTemporaryDir>

#include <sys/socket.h>
#include <sys/un.h>

#include "platform/audio/AudioPlayerFactory.h"
#include "platform/audio/qt/QtAudioPlayer.h"
#include "tests/support/SpeakerTest.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace {

using murmeli::platform::AudioFormat;
using murmeli::platform::AudioPlayer;
using murmeli::platform::QtAudioPlayer;
using murmeli::test::waitUntil;

// Plays a short tone and prints how it ended, for a child process that exits with what this returns: 0 when the
// failure reads expected within timeoutMs.
int playAndExpectFailure(QtAudioPlayer& player, const char* expected, int timeoutMs)
{
    QString outcome;
    QObject::connect(&player, &AudioPlayer::failed, [&](const QString& error) { outcome = error; });
    if (!player.play(AudioFormat::take(), murmeli::test::makeTone(440, 16000, 200, 0.3))) {
        outcome = player.errorString();
    }
    waitUntil([&] { return !outcome.isEmpty(); }, timeoutMs);
    std::fprintf(stderr, "outcome=%s\n", qPrintable(outcome));
    return outcome.contains(QLatin1String(expected)) && !player.isPlaying() ? 0 : 1;
}

// Qt connects to the sound server once per process, so each server below is given to a child of its own.
TEST(QtAudioPlayerTest, WithoutASoundServerPlaybackFailsAndSaysWhy)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qputenv("PULSE_SERVER", "unix:/nonexistent/murmeli-test/native");
            QtAudioPlayer player;
            // A sound server that never answered keeps Qt waiting on it at exit; there is nothing more to run.
            std::_Exit(playAndExpectFailure(player, "no audio output device; is a sound server", 5000));
        },
        ::testing::ExitedWithCode(0), "outcome=no audio output device");
}

TEST(QtAudioPlayerTest, AServerThatNeverAnswersTimesOutWhileTheThreadRunsOn)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int status = 2;
            {
                // It takes the connection and never says a word.
                QTemporaryDir dir;
                const QByteArray path = dir.filePath(QStringLiteral("native")).toLocal8Bit();
                const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un address {};
                address.sun_family = AF_UNIX;
                std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
                if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                    && listen(listener, 4) == 0) {
                    qputenv("PULSE_SERVER", "unix:" + path);
                    QtAudioPlayer player(std::chrono::milliseconds(300));
                    // The wait for the failure spins this thread's event loop: it is not held up by the server.
                    status = playAndExpectFailure(player, "the sound server did not answer within 300 ms", 5000);
                }
            }
            // The server's folder is gone; the sound thread may still wait on its socket.
            std::_Exit(status);
        },
        ::testing::ExitedWithCode(0), "outcome=the sound server did not answer");
}

using QtAudioPlayerSpeakerTest = murmeli::test::SpeakerTest;

TEST_F(QtAudioPlayerSpeakerTest, ToneReachesTheSpeakerAndFinishes)
{
    const std::unique_ptr<AudioPlayer> player = murmeli::platform::makeAudioPlayer();
    int finished = 0;
    std::chrono::steady_clock::time_point finishedAt;
    QObject::connect(player.get(), &AudioPlayer::finished, [&] {
        ++finished;
        finishedAt = std::chrono::steady_clock::now();
    });
    // A stereo 44.1 kHz float tone, nothing like what the monitor records: the server converts it on the way.
    const AudioFormat format { 44100, 2, murmeli::platform::SampleType::Float32 };
    ASSERT_TRUE(player->play(format, murmeli::test::makeTone(format, 997, 600, 0.4)))
        << player->errorString().toStdString();
    EXPECT_TRUE(player->isPlaying());
    // A loaded machine may take its time: the limits only end a wait that would never end.
    ASSERT_TRUE(waitUntil([&] { return finished > 0; }, 60000)) << player->errorString().toStdString();
    EXPECT_FALSE(player->isPlaying());

    // 600 ms of tone hold ten half-overlapping 100 ms windows, all recorded once the tone has played.
    ASSERT_TRUE(waitForRecordingOf(finishedAt, 60000)) << "the speaker's recording stopped";
    EXPECT_GE(toneWindows(997, 0.9), 9);
    EXPECT_EQ(finished, 1);
}

} // namespace
