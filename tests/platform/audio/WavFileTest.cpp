#include <gtest/gtest.h>

#include <optional>

#include <QtEndian>

#include "platform/audio/WavFile.h"
#include "tests/support/Tone.h"

namespace {

using murmeli::platform::AudioFormat;
using murmeli::platform::SampleType;
using murmeli::platform::WavAudio;
namespace WavFile = murmeli::platform::WavFile;

QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const QByteArray& id, const QByteArray& body)
{
    QByteArray out = id + le32(quint32(body.size())) + body;
    return body.size() % 2 ? out + '\0' : out;
}

QByteArray fmtBody(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * bits / 8);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le32(quint32(chunks.size() + 4)) + "WAVE" + chunks;
}

TEST(WavFileTest, HeaderAndSamplesReadBackInEveryEncoding)
{
    for (const SampleType type : { SampleType::UInt8, SampleType::Int16, SampleType::Int32, SampleType::Float32 }) {
        const AudioFormat format { 22050, 2, type };
        const QByteArray pcm = murmeli::test::makeTone(format, 440, 50, 0.5);
        const std::optional<WavAudio> audio = WavFile::parse(WavFile::header(format, quint32(pcm.size())) + pcm);
        ASSERT_TRUE(audio.has_value()) << format.describe().toStdString();
        EXPECT_EQ(audio->format, format);
        EXPECT_EQ(audio->pcm, pcm);
    }
}

TEST(WavFileTest, ReadsWhatOtherWritersLeave)
{
    const QByteArray pcm = murmeli::test::makeTone(16000, 440, 10, 0.5);
    // Extensible format whose sub-format is float, then an odd-sized chunk with its pad byte before the data.
    QByteArray extensible = fmtBody(0xFFFE, 1, 16000, 32) + le16(22) + le16(32) + le32(4) + le16(3);
    extensible += QByteArray(14, '\0');
    const QByteArray floats = murmeli::test::makeTone({ 16000, 1, SampleType::Float32 }, 440, 10, 0.5);
    const auto floatAudio
        = WavFile::parse(riff(chunk("fmt ", extensible) + chunk("LIST", "odd") + chunk("data", floats)));
    ASSERT_TRUE(floatAudio.has_value());
    EXPECT_EQ(floatAudio->format, (AudioFormat { 16000, 1, SampleType::Float32 }));
    EXPECT_EQ(floatAudio->pcm, floats);

    // A streamed file keeps its size fields at their maximum; a torn last frame is left out.
    const QByteArray streamed
        = riff(chunk("fmt ", fmtBody(1, 1, 16000, 16))) + "data" + le32(0xFFFFFFFF) + pcm + QByteArray(1, '\x7f');
    const auto streamedAudio = WavFile::parse(streamed);
    ASSERT_TRUE(streamedAudio.has_value());
    EXPECT_EQ(streamedAudio->pcm, pcm);
}

TEST(WavFileTest, RefusesDamagedAndUnsupportedFiles)
{
    const QByteArray data = chunk("data", QByteArray(64, '\0'));
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        { "not RIFF", "RIFX" + QByteArray(40, '\0') },
        { "short fmt", riff(chunk("fmt ", QByteArray(10, '\0')) + data) },
        { "24-bit", riff(chunk("fmt ", fmtBody(1, 1, 16000, 24)) + data) },
        { "block align off", riff(chunk("fmt ", fmtBody(1, 2, 16000, 16).replace(12, 2, le16(3))) + data) },
        { "data first", riff(data + chunk("fmt ", fmtBody(1, 1, 16000, 16))) },
        { "no data", riff(chunk("fmt ", fmtBody(1, 1, 16000, 16))) },
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(WavFile::parse(c.bytes, &error).has_value()) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

} // namespace
