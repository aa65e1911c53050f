#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "platform/audio/AudioConverter.h"
#include "tests/support/Tone.h"

namespace {

using murmeli::platform::AudioConverter;
using murmeli::platform::AudioFormat;
using murmeli::platform::SampleType;

constexpr double toneHz = 440;
constexpr double amplitude = 0.5;
constexpr int toneMs = 1000;
constexpr int takeRate = 16000;

// Buffer sizes in bytes, none of them a whole number of frames for every format: partial frames cross the joins.
constexpr qsizetype bufferPattern[] = { 1, 333, 16384, 7, 1000, 4097 };

QByteArray convertInBuffers(AudioConverter& converter, const QByteArray& input, int* joins)
{
    QByteArray out;
    qsizetype at = 0;
    for (size_t i = 0; at < input.size(); ++i) {
        const qsizetype length = std::min(bufferPattern[i % std::size(bufferPattern)], input.size() - at);
        out += converter.convert(QByteArrayView(input).sliced(at, length));
        at += length;
        ++*joins;
    }
    return out + converter.flush();
}

double rms(std::span<const qint16> samples)
{
    double sum = 0;
    for (const qint16 sample : samples) {
        sum += (sample / 32768.0) * (sample / 32768.0);
    }
    return std::sqrt(sum / double(samples.size()));
}

class AudioConverterFormats : public ::testing::TestWithParam<AudioFormat> { };

TEST_P(AudioConverterFormats, BuffersConvertAsOneSignalToTheTakeTone)
{
    const AudioFormat format = GetParam();
    const QByteArray input = murmeli::test::makeTone(format, toneHz, toneMs, amplitude);

    AudioConverter buffered(format);
    ASSERT_TRUE(buffered.isValid()) << buffered.errorString().toStdString();
    const QByteArray reference = AudioConverter::convertWhole(format, input);
    int joins = 0;
    const QByteArray pcm = convertInBuffers(buffered, input, &joins);

    // Nothing repeated or lost at a join: the buffered signal is the whole signal, sample for sample.
    ASSERT_EQ(pcm.size(), reference.size());
    EXPECT_EQ(pcm, reference) << joins << " joins";

    const std::vector<qint16> samples = murmeli::test::samplesOf(pcm);
    const double exactLength = double(input.size() / format.bytesPerFrame()) * takeRate / format.sampleRate;
    EXPECT_LE(std::abs(double(samples.size()) - exactLength), 1.0);

    // Away from the edges the output is the same tone at the take rate, at the same level.
    const auto middle = std::span(samples).subspan(samples.size() / 4, takeRate / 10);
    EXPECT_GT(murmeli::test::toneShare(middle, toneHz, takeRate), 0.99);
    EXPECT_NEAR(rms(middle), amplitude / std::sqrt(2.0), 0.02);
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioConverterFormats,
    ::testing::Values(AudioFormat { 8000, 1, SampleType::Int16 }, AudioFormat { 44100, 2, SampleType::Int16 },
        AudioFormat { 44100, 1, SampleType::Float32 }, AudioFormat { 48000, 2, SampleType::Float32 },
        AudioFormat { 48000, 1, SampleType::Int32 }, AudioFormat { 22050, 1, SampleType::UInt8 },
        AudioFormat { 16000, 2, SampleType::Int16 }));

TEST(AudioConverterTest, RefusesFormatsItCannotRead)
{
    for (const AudioFormat& format :
        { AudioFormat { 0, 1, SampleType::Int16 }, AudioFormat { 48000, 9, SampleType::Float32 } }) {
        AudioConverter converter(format);
        EXPECT_FALSE(converter.isValid()) << format.describe().toStdString();
        EXPECT_FALSE(converter.errorString().isEmpty());
        EXPECT_TRUE(converter.convert(QByteArray(4096, '\x10')).isEmpty());
    }
}

} // namespace
