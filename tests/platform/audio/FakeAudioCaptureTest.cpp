#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/audio/AudioConverter.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace {

using murmeli::platform::AudioConverter;
using murmeli::platform::AudioFormat;
using murmeli::platform::FakeAudioCapture;
using murmeli::platform::SampleType;
using murmeli::test::waitUntil;

const AudioFormat sourceFormat { 22050, 2, SampleType::Int16 };

class FakeAudioCaptureTest : public ::testing::Test {
protected:
    // A stereo tone in a WAV file, as the capture gets it.
    QString writeToneFile(int durationMs)
    {
        const QByteArray pcm = murmeli::test::makeTone(sourceFormat, 440, durationMs, 0.5);
        m_source = pcm;
        const QString path = m_dir.filePath(QStringLiteral("tone.wav"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(murmeli::platform::WavFile::header(sourceFormat, quint32(pcm.size())) + pcm);
        return path;
    }

    QByteArray convertedSource() const { return AudioConverter::convertWhole(sourceFormat, m_source); }

    QTemporaryDir m_dir;
    QByteArray m_source;
    FakeAudioCapture m_capture;
};

TEST_F(FakeAudioCaptureTest, PlaysTheFileOnDemandAsTheRealCaptureWouldConvertIt)
{
    ASSERT_TRUE(m_capture.loadWav(writeToneFile(500))) << m_capture.errorString().toStdString();
    m_capture.setSpeed(0);
    m_capture.setBufferFrames(1000);
    int ended = 0;
    QObject::connect(&m_capture, &FakeAudioCapture::sourceEnded, [&] { ++ended; });
    ASSERT_TRUE(m_capture.start());

    EXPECT_EQ(m_capture.deliver(2), 2);
    EXPECT_FALSE(m_capture.sourceFinished());
    m_capture.deliverRest();
    EXPECT_TRUE(m_capture.sourceFinished());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(m_capture.delivered(), convertedSource());

    // After the file the microphone hears silence: one buffer's worth at the take rate.
    const qsizetype before = m_capture.delivered().size();
    EXPECT_EQ(m_capture.deliver(1), 1);
    EXPECT_EQ(m_capture.delivered().sliced(before), QByteArray(1000 * 16000 / 22050 * 2, '\0'));

    // A new take plays the file again from its start.
    m_capture.stop();
    EXPECT_EQ(m_capture.deliver(1), 0);
    ASSERT_TRUE(m_capture.start());
    m_capture.deliverRest();
    EXPECT_EQ(m_capture.delivered(), convertedSource());
}

TEST_F(FakeAudioCaptureTest, TimerPlaysInRealTimeOrFaster)
{
    ASSERT_TRUE(m_capture.loadWav(writeToneFile(400)));
    m_capture.setBufferFrames(441);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(m_capture.start());
    ASSERT_TRUE(waitUntil([&] { return m_capture.sourceFinished(); }, 5000));
    EXPECT_GE(clock.elapsed(), 380);
    EXPECT_EQ(m_capture.delivered(), convertedSource());
    m_capture.stop();

    m_capture.setSpeed(20);
    clock.start();
    ASSERT_TRUE(m_capture.start());
    ASSERT_TRUE(waitUntil([&] { return m_capture.sourceFinished(); }, 5000));
    EXPECT_LT(clock.elapsed(), 380);
}

TEST_F(FakeAudioCaptureTest, FailuresAreReportedAsTheRealCaptureReportsThem)
{
    EXPECT_FALSE(m_capture.loadWav(m_dir.filePath(QStringLiteral("missing.wav"))));
    EXPECT_TRUE(m_capture.errorString().contains(QStringLiteral("missing.wav")));

    m_capture.failNextStart(QStringLiteral("device busy"));
    EXPECT_FALSE(m_capture.start());
    EXPECT_EQ(m_capture.errorString(), QStringLiteral("device busy"));
    EXPECT_FALSE(m_capture.isActive());

    QStringList failed;
    QObject::connect(&m_capture, &FakeAudioCapture::failed, [&](const QString& error) { failed << error; });
    ASSERT_TRUE(m_capture.start());
    m_capture.fail(QStringLiteral("device gone"));
    EXPECT_EQ(failed, QStringList { QStringLiteral("device gone") });
    EXPECT_FALSE(m_capture.isActive());
    m_capture.fail(QStringLiteral("again"));
    EXPECT_EQ(failed.size(), 1);
}

} // namespace
