#include "main/voice/service/CloudTranscribe.h"

#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

namespace murmeli::voice {

namespace {

QByteArray samples(std::initializer_list<qint16> values)
{
    QByteArray bytes;
    for (const qint16 value : values) {
        char le[2];
        qToLittleEndian(value, le);
        bytes.append(le, 2);
    }
    return bytes;
}

std::vector<int> sampleValues(const QByteArray& pcm)
{
    std::vector<int> values;
    for (qsizetype i = 0; i + 1 < pcm.size(); i += 2) {
        values.push_back(qFromLittleEndian<qint16>(pcm.constData() + i));
    }
    return values;
}

/// Runs a Python 3 snippet and returns what it printed; nullopt when python3 or the module it needs is missing.
std::optional<QString> runPython(const QString& script, const QStringList& args = {})
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    process.start(
        python, QStringList { QStringLiteral("-W"), QStringLiteral("ignore"), QStringLiteral("-c"), script } + args);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

quint32 le32At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

TEST(CloudTranscribeTest, WavHeaderCarriesSizesAndRates)
{
    struct Row {
        int pcmBytes;
        int rate;
        quint32 riffSize;
        quint32 byteRate;
    };
    for (const Row& row : { Row { 0, 16000, 36, 32000 }, Row { 32000, 16000, 32036, 32000 },
             Row { 2000, 8000, 2036, 16000 }, Row { 7, 44100, 43, 88200 } }) {
        SCOPED_TRACE(row.pcmBytes);
        const QByteArray pcm(row.pcmBytes, '\x5a');
        const QByteArray wav = CloudTranscribe::buildWAV(pcm, row.rate);
        ASSERT_EQ(wav.size(), 44 + row.pcmBytes);
        EXPECT_EQ(wav.left(4), "RIFF");
        EXPECT_EQ(le32At(wav, 4), row.riffSize);
        EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
        // Format chunk: size 16, integer PCM, mono, the rate, its byte rate, block alignment 2, 16 bits, "data".
        EXPECT_EQ(wav.mid(16, 8).toHex(), "1000000001000100");
        EXPECT_EQ(le32At(wav, 24), static_cast<quint32>(row.rate));
        EXPECT_EQ(le32At(wav, 28), row.byteRate);
        EXPECT_EQ(wav.mid(32, 8),
            QByteArray("\x02\x00\x10\x00"
                       "data",
                8));
        EXPECT_EQ(le32At(wav, 40), static_cast<quint32>(row.pcmBytes));
        EXPECT_EQ(wav.mid(44), pcm);
    }
}

TEST(CloudTranscribeTest, WavReadsBackWithPythonsWaveModule)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("take.wav"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(CloudTranscribe::buildWAV(samples({ 1, -2, 300, -32768, 32767 }), 16000));
    file.close();

    const auto read = runPython(QStringLiteral("import sys, wave\n"
                                               "w = wave.open(sys.argv[1], 'rb')\n"
                                               "print(w.getnchannels(), w.getsampwidth(), w.getframerate(),"
                                               " w.getnframes(), w.getcomptype(), w.readframes(5).hex())"),
        { path });
    if (!read) {
        GTEST_SKIP() << "python3 with its wave module is not available";
    }
    EXPECT_EQ(read->toStdString(), "1 2 16000 5 NONE 0100feff2c010080ff7f");
}

TEST(CloudTranscribeTest, MulawMatchesAnIndependentDecoderForAll256Codes)
{
    // The expected table comes from Python's own G.711 decoder, never from this code.
    const auto expected = runPython(QStringLiteral("import audioop, struct\n"
                                                   "pcm = audioop.ulaw2lin(bytes(range(256)), 2)\n"
                                                   "print(' '.join(map(str, struct.unpack('=256h', pcm))))"));
    if (!expected) {
        GTEST_SKIP() << "python3 with audioop is not available to supply the reference table";
    }
    const QStringList reference = expected->split(QLatin1Char(' '));
    ASSERT_EQ(reference.size(), 256);

    QByteArray codes;
    for (int code = 0; code < 256; ++code) {
        codes.append(static_cast<char>(code));
    }
    const QByteArray pcm = CloudTranscribe::decodeMulaw(codes);
    ASSERT_EQ(pcm.size(), 512);
    const std::vector<int> decoded = sampleValues(pcm);
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(decoded[code], reference[code].toInt()) << "code 0x" << std::hex << code;
    }
}

TEST(CloudTranscribeTest, MulawEdgeCodes)
{
    const QByteArray pcm = CloudTranscribe::decodeMulaw(QByteArray::fromHex("ff7f8000"));
    EXPECT_EQ(sampleValues(pcm), (std::vector<int> { 0, 0, 32124, -32124 }));
    EXPECT_TRUE(CloudTranscribe::decodeMulaw({}).isEmpty());
}

TEST(CloudTranscribeTest, ResampleDoublesWithMidpointsAndRepeatsTheLastSample)
{
    struct Row {
        const char* name;
        QByteArray input;
        QByteArray output;
    };
    const std::vector<Row> rows {
        { "empty", {}, {} },
        { "one sample unchanged", samples({ 7 }), samples({ 7 }) },
        { "three bytes unchanged", QByteArray("\x01\x02\x03", 3), QByteArray("\x01\x02\x03", 3) },
        { "two samples", samples({ 100, 200 }), samples({ 100, 150, 200, 200 }) },
        { "midpoint truncates toward zero", samples({ -3, -2 }), samples({ -3, -2, -2, -2 }) },
        { "no overflow at the extremes", samples({ 32767, 32767, -32768 }),
            samples({ 32767, 32767, 32767, 0, -32768, -32768 }) },
        { "trailing odd byte dropped", samples({ 10, 20 }) + QByteArray(1, '\x7f'), samples({ 10, 15, 20, 20 }) },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(sampleValues(CloudTranscribe::resample8to16(row.input)), sampleValues(row.output));
        EXPECT_EQ(CloudTranscribe::resample8to16(row.input).size(), row.output.size());
    }
}

} // namespace
} // namespace murmeli::voice
