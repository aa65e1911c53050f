#include "tests/support/SpokenAudio.h"

#include <algorithm>
#include <vector>

#include <QProcess>
#include <QRegularExpression>

namespace murmeli::test::SpokenAudio {

namespace {

QStringList words(const QString& text)
{
    static const QRegularExpression notWord(QStringLiteral("[^a-z0-9']+"));
    return text.toLower().split(notWord, Qt::SkipEmptyParts);
}

} // namespace

QStringList recognisableSentences()
{
    return { QStringLiteral("hello world"), QStringLiteral("the weather is nice today"),
        QStringLiteral("turn on the lights in the kitchen"), QStringLiteral("the meeting starts at nine o'clock"),
        QStringLiteral("please read the documentation"), QStringLiteral("i think it is going to rain"),
        QStringLiteral("thank you very much"), QStringLiteral("what time is it"),
        QStringLiteral("where is the train station") };
}

QString speakToWav(const QString& text, const QString& path, const QString& voice)
{
    QProcess espeak;
    espeak.start(QStringLiteral("espeak-ng"), { QStringLiteral("-v"), voice, QStringLiteral("-w"), path, text });
    if (!espeak.waitForStarted(10000)) {
        return QStringLiteral("espeak-ng cannot be started (%1)").arg(espeak.errorString());
    }
    if (!espeak.waitForFinished(30000)) {
        espeak.kill();
        espeak.waitForFinished(5000);
        return QStringLiteral("espeak-ng did not finish within 30 s");
    }
    if (espeak.exitStatus() != QProcess::NormalExit || espeak.exitCode() != 0) {
        return QStringLiteral("espeak-ng failed: %1").arg(QString::fromLocal8Bit(espeak.readAllStandardError()));
    }
    return {};
}

double wordAccuracy(const QString& expected, const QString& heard)
{
    const QStringList want = words(expected);
    const QStringList got = words(heard);
    if (want.isEmpty()) {
        return got.isEmpty() ? 1.0 : 0.0;
    }
    // One row of the edit-distance table at a time.
    std::vector<qsizetype> previous(static_cast<size_t>(got.size()) + 1);
    std::vector<qsizetype> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j) {
        previous[j] = static_cast<qsizetype>(j);
    }
    for (qsizetype i = 1; i <= want.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= got.size(); ++j) {
            const qsizetype substitute = previous[j - 1] + (want[i - 1] == got[j - 1] ? 0 : 1);
            current[j] = std::min({ previous[j] + 1, current[j - 1] + 1, substitute });
        }
        std::swap(previous, current);
    }
    return std::max(0.0, 1.0 - static_cast<double>(previous.back()) / static_cast<double>(want.size()));
}

} // namespace murmeli::test::SpokenAudio
