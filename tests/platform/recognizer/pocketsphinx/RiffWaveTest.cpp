#include <vector>

#include <gtest/gtest.h>

#include <QtEndian>

#include "platform/recognizer/pocketsphinx/RiffWave.h"

namespace murmeli::platform {
namespace {

template <typename T> QByteArray little(T value)
{
    QByteArray bytes(sizeof(T), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray bytes = QByteArray(id, 4) + little<quint32>(static_cast<quint32>(body.size())) + body;
    return body.size() % 2 ? bytes + '\0' : bytes;
}

QByteArray fmt(quint16 encoding, quint16 channels, quint32 rate, quint16 bits, quint16 subFormat = 0)
{
    const quint16 align = static_cast<quint16>(channels * bits / 8);
    QByteArray body = little(encoding) + little(channels) + little(rate) + little<quint32>(rate * align) + little(align)
        + little(bits);
    if (encoding == 0xFFFE) {
        body += little<quint16>(22) + little(bits) + little<quint32>(0) + little(subFormat)
            + QByteArray::fromHex("000000001000800000aa00389b71");
    }
    return chunk("fmt ", body);
}

QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + little<quint32>(static_cast<quint32>(4 + chunks.size())) + "WAVE" + chunks;
}

QByteArray samples16(std::initializer_list<qint16> values)
{
    QByteArray bytes;
    for (qint16 value : values) {
        bytes += little(value);
    }
    return bytes;
}

TEST(RiffWave, ReadsTheLayoutsAndEncodingsThatWritersUse)
{
    struct Case {
        const char* name;
        QByteArray file;
        std::vector<std::int16_t> samples;
        int rate;
    };
    const QByteArray plain = samples16({ 0, 1000, -1000, 32767 });
    const Case cases[] = {
        { "plain", riff(fmt(1, 1, 16000, 16) + chunk("data", plain)), { 0, 1000, -1000, 32767 }, 16000 },
        { "other chunks around, one of odd length",
            riff(chunk("LIST", "INFOISFT") + fmt(1, 1, 8000, 16) + chunk("junk", "abc") + chunk("data", plain)
                + chunk("id3 ", "x")),
            { 0, 1000, -1000, 32767 }, 8000 },
        { "data before fmt", riff(chunk("data", plain) + fmt(1, 1, 16000, 16)), { 0, 1000, -1000, 32767 }, 16000 },
        { "stereo mixed down", riff(fmt(1, 2, 44100, 16) + chunk("data", samples16({ 1000, 3000, -200, 0 }))),
            { 2000, -100 }, 44100 },
        { "extensible header", riff(fmt(0xFFFE, 2, 48000, 16, 1) + chunk("data", samples16({ 10, 20 }))), { 15 },
            48000 },
        { "8-bit unsigned", riff(fmt(1, 1, 8000, 8) + chunk("data", QByteArray::fromHex("8000ff"))),
            { 0, -32768, 32512 }, 8000 },
        { "24-bit", riff(fmt(1, 1, 16000, 24) + chunk("data", QByteArray::fromHex("000080ffff7f000100"))),
            { -32768, 32767, 1 }, 16000 },
        { "32-bit float: 0.5, -1, 2",
            riff(fmt(3, 1, 16000, 32) + chunk("data", QByteArray::fromHex("0000003f000080bf00000040"))),
            { 16384, -32768, 32767 }, 16000 },
        // A recording cut off mid-write: the data chunk claims more than there is, and a frame is half there.
        { "truncated data", riff(fmt(1, 1, 16000, 16)) + "data" + little<quint32>(1000) + samples16({ 7, 8 }) + "\x01",
            { 7, 8 }, 16000 },
    };
    for (const Case& c : cases) {
        QString whyNot;
        const std::optional<MonoPcm> pcm = RiffWave::decode(c.file, &whyNot);
        ASSERT_TRUE(pcm.has_value()) << c.name << ": " << whyNot.toStdString();
        EXPECT_EQ(pcm->samples, c.samples) << c.name;
        EXPECT_EQ(pcm->sampleRate, c.rate) << c.name;
    }
}

TEST(RiffWave, SaysWhyItRefusesAFile)
{
    struct Case {
        QByteArray file;
        const char* reason;
    };
    const Case cases[] = {
        { "ID3\x04 not a wave at all", "not a RIFF/WAVE file" },
        { riff(fmt(1, 1, 16000, 16)), "no data chunk" },
        { riff(chunk("data", samples16({ 1 }))), "no format chunk" },
        { riff(fmt(2, 1, 16000, 4) + chunk("data", "ab")), "format 2 with 4-bit samples" },
        { riff(chunk("fmt ", "short") + chunk("data", "ab")), "too short" },
        { riff(fmt(1, 0, 16000, 16) + chunk("data", "ab")), "inconsistent" },
    };
    for (const Case& c : cases) {
        QString whyNot;
        EXPECT_FALSE(RiffWave::decode(c.file, &whyNot).has_value()) << c.reason;
        EXPECT_TRUE(whyNot.contains(QLatin1String(c.reason))) << whyNot.toStdString();
    }
}

} // namespace
} // namespace murmeli::platform
