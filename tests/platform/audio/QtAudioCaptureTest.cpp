#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <QProcess>
#include <QStringList>

#include "platform/audio/AudioCaptureFactory.h"
#include "platform/audio/qt/QtAudioCapture.h"
#include "tests/support/SpeakerLock.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace {

using murmeli::platform::AudioCapture;
using murmeli::platform::QtAudioCapture;
using murmeli::test::waitUntil;

constexpr int takeRate = 16000;
// Not a whole number of periods in a 50 ms device buffer, so a buffer repeated or lost would break the phase.
constexpr double toneHz = 997;
constexpr qsizetype windowSamples = takeRate / 10;
constexpr qsizetype toneSpanSamples = takeRate * 3 / 10;

TEST(QtAudioCaptureTest, WithoutASoundServerThereIsNoDeviceAndTheStartSaysWhy)
{
    // Qt connects to the sound server once per process, so the server is taken away in a child of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qputenv("PULSE_SERVER", "unix:/nonexistent/murmeli-test/native");
            QtAudioCapture capture;
            // The first contact with the server is made off the asking thread; until it ends nothing is known.
            murmeli::platform::MicrophoneAccess access;
            waitUntil([&] {
                access = capture.checkAccess();
                return !access.pending;
            });
            const bool started = capture.start();
            std::fprintf(stderr, "granted=%d started=%d detail=%s error=%s\n", int(access.granted), int(started),
                qPrintable(access.detail), qPrintable(capture.errorString()));
            std::_Exit(!access.granted && !started && capture.errorString().contains("sound server") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "granted=0 started=0 detail=no audio input device");
}

class QtAudioCaptureDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = murmeli::test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
    }
};

TEST_F(QtAudioCaptureDesktopTest, CaptureThatHearsNothingInTimeGivesUpAndSaysSo)
{
    // The device delivers every few dozen milliseconds; a limit of 1 ms runs out before the first buffer.
    QtAudioCapture capture(std::chrono::milliseconds(1));
    ASSERT_TRUE(waitUntil([&] { return !capture.checkAccess().pending; }));
    ASSERT_TRUE(capture.checkAccess().granted) << capture.checkAccess().detail.toStdString();
    QStringList failed;
    QObject::connect(&capture, &AudioCapture::failed, [&](const QString& error) { failed << error; });
    ASSERT_TRUE(capture.start()) << capture.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !failed.isEmpty(); }, 5000));
    EXPECT_FALSE(capture.isActive());
    EXPECT_TRUE(failed.first().contains(QStringLiteral("no audio from"))) << failed.first().toStdString();
    EXPECT_EQ(capture.errorString(), failed.first());
    // A later start runs again.
    EXPECT_TRUE(capture.start());
    capture.stop();
}

TEST_F(QtAudioCaptureDesktopTest, ToneIntoTheSpeakerComesOutAsTakePcm)
{
    const murmeli::test::SpeakerLock speaker;
    ASSERT_TRUE(speaker.isHeld()) << "another test kept the speaker";
    const std::unique_ptr<AudioCapture> capture = murmeli::platform::makeAudioCapture();
    QByteArray pcm;
    QObject::connect(capture.get(), &AudioCapture::pcmCaptured, [&](const QByteArray& piece) { pcm += piece; });
    ASSERT_TRUE(capture->start()) << capture->errorString().toStdString();

    const qsizetype playedAt = windowSamples;
    ASSERT_TRUE(waitUntil([&] { return pcm.size() / 2 >= playedAt; }, 5000)) << "the capture delivers nothing";
    // The player keeps 200 ms queued: with less, a busy machine lets it run dry, and the silence the sound server
    // mixes in then breaks the tone as a lost capture buffer would.
    QProcess player;
    player.start(QStringLiteral("paplay"),
        { QStringLiteral("--raw"), QStringLiteral("--format=s16le"), QStringLiteral("--rate=48000"),
            QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=200") });
    ASSERT_TRUE(player.waitForStarted(5000)) << player.errorString().toStdString();
    player.write(murmeli::test::makeTone(toneHz, 48000, 500, 0.5));
    player.closeWriteChannel();
    std::vector<qint16> samples;
    std::optional<qsizetype> toneAt;
    waitUntil(
        [&] {
            samples = murmeli::test::samplesOf(pcm);
            toneAt = murmeli::test::findTone(samples, playedAt, toneHz, takeRate);
            return toneAt && *toneAt + toneSpanSamples <= qsizetype(samples.size());
        },
        5000);
    capture->stop();
    EXPECT_FALSE(capture->isActive());
    player.waitForFinished(5000);

    ASSERT_TRUE(toneAt.has_value()) << "no " << toneHz << " Hz tone in " << samples.size() << " captured samples";
    ASSERT_LE(*toneAt + toneSpanSamples, qsizetype(samples.size()));
    // 300 ms of the tone span several device buffers; it stays one unbroken sine across their joins.
    const auto span = std::span(samples).subspan(*toneAt, toneSpanSamples);
    EXPECT_GT(murmeli::test::toneShare(span, toneHz, takeRate), 0.9);
}

} // namespace
