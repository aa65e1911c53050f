#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "main/common/ProcessRunner.h"

using namespace murmeli;

namespace {

common::ProcessResult run(const QString& program, const QStringList& arguments)
{
    return common::runProcessBlocking({ program, arguments });
}

QByteArray soxi(const QString& option, const QString& path)
{
    return run(QStringLiteral("soxi"), { option, path }).standardOutput.trimmed();
}

} // namespace

// sox, not our own reader, measures what `murmeli say --wav` wrote, against the speech tool's own file of the phrase.
TEST(SayWavTest, TheWavIsSixteenKilohertzMonoSixteenBitAndAsLongAsTheSpeech)
{
    for (const char* tool : { "espeak-ng", "soxi" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        }
    }
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("said.wav"));
    const QString reference = dir.filePath(QStringLiteral("reference.wav"));
    for (const QString& phrase : { QStringLiteral("Done. 12 lines added 3 removed"), QStringLiteral("-v --help") }) {
        const common::ProcessResult said = run(QStringLiteral(MURMELI_BINARY),
            { QStringLiteral("say"), QStringLiteral("--wav"), written, QStringLiteral("--"), phrase });
        ASSERT_TRUE(said.succeeded()) << said.standardError.constData();
        EXPECT_EQ(soxi(QStringLiteral("-r"), written), "16000");
        EXPECT_EQ(soxi(QStringLiteral("-c"), written), "1");
        EXPECT_EQ(soxi(QStringLiteral("-b"), written), "16");
        EXPECT_EQ(soxi(QStringLiteral("-e"), written), "Signed Integer PCM");

        ASSERT_TRUE(run(QStringLiteral("espeak-ng"),
            { QStringLiteral("-s"), QStringLiteral("160"), QStringLiteral("-w"), reference, QStringLiteral("--"),
                phrase })
                        .succeeded());
        const double speech = soxi(QStringLiteral("-D"), reference).toDouble();
        EXPECT_GT(speech, 0.5) << phrase.toStdString();
        // The speech and the tenth of a second of silence after it.
        EXPECT_NEAR(soxi(QStringLiteral("-D"), written).toDouble(), speech + 0.1, 0.002) << phrase.toStdString();
    }
    EXPECT_EQ(
        run(QStringLiteral(MURMELI_BINARY), { QStringLiteral("say"), QStringLiteral("--wav"), written }).exitCode, 64);
}
