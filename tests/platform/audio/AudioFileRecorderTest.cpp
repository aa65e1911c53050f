#include <gtest/gtest.h>

#include <optional>

#include <QTemporaryDir>

#include "platform/audio/AudioFileRecorder.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "tests/support/Tone.h"

namespace {

using murmeli::platform::AudioFileRecorder;
using murmeli::platform::AudioFormat;
using murmeli::platform::FakeAudioCapture;
using murmeli::platform::WavAudio;
namespace WavFile = murmeli::platform::WavFile;

class AudioFileRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_capture.setSource({ 48000, 1, murmeli::platform::SampleType::Float32 },
            murmeli::test::makeTone({ 48000, 1, murmeli::platform::SampleType::Float32 }, 440, 700, 0.5));
        m_capture.setSpeed(0);
    }

    QTemporaryDir m_dir;
    FakeAudioCapture m_capture;
    AudioFileRecorder m_recorder { m_capture };
};

TEST_F(AudioFileRecorderTest, FileHoldsEveryCapturedSampleUpToTheStop)
{
    const QString path = m_dir.filePath(QStringLiteral("take.wav"));
    ASSERT_TRUE(m_recorder.open(path)) << m_recorder.errorString().toStdString();
    ASSERT_TRUE(m_recorder.record());
    EXPECT_TRUE(m_recorder.isRecording());
    m_capture.deliver(3);
    // The capture's stop hands over the resampler's tail; the file must have it too.
    EXPECT_TRUE(m_recorder.stop());
    EXPECT_FALSE(m_capture.isActive());

    const std::optional<WavAudio> audio = WavFile::read(path);
    ASSERT_TRUE(audio.has_value());
    EXPECT_EQ(audio->format, AudioFormat::take());
    EXPECT_EQ(audio->pcm, m_capture.delivered());
    EXPECT_EQ(m_recorder.recordedBytes(), m_capture.delivered().size());
}

TEST_F(AudioFileRecorderTest, OpenAndRecordFailuresSayWhy)
{
    EXPECT_FALSE(m_recorder.record());
    EXPECT_FALSE(m_recorder.errorString().isEmpty());
    EXPECT_FALSE(m_recorder.open(m_dir.filePath(QStringLiteral("missing/take.wav"))));
    EXPECT_FALSE(m_recorder.errorString().isEmpty());

    const QString path = m_dir.filePath(QStringLiteral("take.wav"));
    ASSERT_TRUE(m_recorder.open(path));
    m_capture.failNextStart(QStringLiteral("no audio input device"));
    EXPECT_FALSE(m_recorder.record());
    EXPECT_EQ(m_recorder.errorString(), QStringLiteral("no audio input device"));
    EXPECT_FALSE(m_recorder.isRecording());
    // What was opened is still a valid, empty take.
    EXPECT_TRUE(m_recorder.stop());
    const std::optional<WavAudio> audio = WavFile::read(path);
    ASSERT_TRUE(audio.has_value());
    EXPECT_TRUE(audio->pcm.isEmpty());
}

} // namespace
