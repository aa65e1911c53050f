#include "platform/speech/espeak/EspeakSynthesizer.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include "main/common/ProcessRunner.h"
#include "platform/audio/WavFile.h"
#include "tests/support/Tone.h"

using namespace murmeli;
using platform::AudioFormat;
using platform::EspeakSynthesizer;
using platform::SampleType;

namespace {

// A WAV of the tone with a metadata chunk between "fmt " and "data", as tagging tools leave one.
QByteArray wavWithMetadata(const AudioFormat& format, const QByteArray& pcm)
{
    const QByteArray plain = platform::WavFile::header(format, quint32(pcm.size())) + pcm;
    QByteArray list
        = QByteArray("LIST") + QByteArray(4, '\0') + "INFOISFT" + QByteArray(4, '\0') + QByteArray("murmeli", 8);
    qToLittleEndian<quint32>(quint32(list.size() - 8), list.data() + 4);
    qToLittleEndian<quint32>(8, list.data() + 16);
    QByteArray wav = plain.left(36) + list + plain.mid(36);
    qToLittleEndian<quint32>(quint32(wav.size() - 8), wav.data() + 4);
    return wav;
}

double seconds(const QByteArray& takePcm)
{
    return double(takePcm.size()) / (2.0 * 16000.0);
}

std::optional<QString> toolMissing()
{
    for (const char* tool : { "espeak-ng", "soxi" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            return QStringLiteral("%1 is not installed (scripts/setup installs it)").arg(QLatin1String(tool));
        }
    }
    return std::nullopt;
}

} // namespace

TEST(EspeakSynthesizerTest, OutputIsReadByItsChunksAndConvertedToTakePcm)
{
    struct Case {
        const char* name;
        QByteArray output;
        bool speech; // false: refused
    };
    const AudioFormat take = AudioFormat::take();
    const AudioFormat tool { 22050, 1, SampleType::Int16 };
    const AudioFormat stereo { 44100, 2, SampleType::Int16 };
    const Case cases[] = {
        { "take format", wavWithMetadata(take, test::makeTone(take, 440, 500, 0.4)), true },
        { "the tool's own rate", wavWithMetadata(tool, test::makeTone(tool, 440, 500, 0.4)), true },
        { "stereo", wavWithMetadata(stereo, test::makeTone(stereo, 440, 500, 0.4)), true },
        { "no samples", platform::WavFile::header(tool, 0), false },
        { "help text", QByteArray("Usage: espeak-ng [options] [\"<words>\"]\n"), false },
    };
    const EspeakSynthesizer synthesizer;
    for (const Case& c : cases) {
        QString error;
        const std::optional<QByteArray> pcm = synthesizer.decode(c.output, &error);
        ASSERT_EQ(pcm.has_value(), c.speech) << c.name;
        EXPECT_EQ(error.isEmpty(), c.speech) << c.name;
        if (pcm) {
            // The metadata is not heard: the half second of tone is all there is, still at its pitch.
            EXPECT_NEAR(seconds(*pcm), 0.5, 0.001) << c.name;
            const std::vector<qint16> samples = test::samplesOf(*pcm);
            EXPECT_GT(test::toneShare(std::span(samples).subspan(800, 1600), 440, 16000), 0.95) << c.name;
        }
    }
}

TEST(EspeakSynthesizerTest, RealSpeechLastsAsLongAsTheToolSays)
{
    if (const std::optional<QString> missing = toolMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    const EspeakSynthesizer synthesizer;
    ASSERT_TRUE(synthesizer.isAvailable());
    QTemporaryDir dir;
    for (const QString& phrase :
        { QStringLiteral("Task complete"), QStringLiteral("--help"), QStringLiteral("Approve. git push --force") }) {
        const platform::SpeechCommand command = synthesizer.command(phrase, { 160, QString() });
        common::ProcessRequest request { command.program, command.arguments };
        request.standardInput = command.standardInput;
        const common::ProcessResult run = common::runProcessBlocking(request);
        ASSERT_TRUE(run.succeeded()) << run.standardError.constData();
        QString error;
        const std::optional<QByteArray> pcm = synthesizer.decode(run.standardOutput, &error);
        ASSERT_TRUE(pcm) << phrase.toStdString() << ": " << error.toStdString();

        // The tool's own file of the same phrase, measured by sox.
        const QString reference = dir.filePath(QStringLiteral("reference.wav"));
        const common::ProcessResult written = common::runProcessBlocking({ command.program,
            { QStringLiteral("-s"), QStringLiteral("160"), QStringLiteral("-w"), reference, QStringLiteral("--"),
                phrase } });
        ASSERT_TRUE(written.succeeded()) << written.standardError.constData();
        const common::ProcessResult measured
            = common::runProcessBlocking({ QStringLiteral("soxi"), { QStringLiteral("-D"), reference } });
        const double expected = measured.standardOutput.trimmed().toDouble();
        EXPECT_GT(expected, 0.3) << phrase.toStdString();
        EXPECT_NEAR(seconds(*pcm), expected, 0.002) << phrase.toStdString();
    }
}
