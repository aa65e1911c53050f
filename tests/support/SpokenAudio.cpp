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

// One synthesiser run to its end; "" when it succeeded, else why not.
QString run(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        return QStringLiteral("%1 cannot be started (%2)").arg(program, process.errorString());
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return QStringLiteral("%1 did not finish within 30 s").arg(program);
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
    }
    return {};
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

QString speakToWav(const QString& text, const QString& path)
{
    return speak(kSpeaker, text, path);
}

QString Speaker::name() const
{
    switch (program) {
    case Program::EspeakNg:
        return QStringLiteral("espeak-ng ") + (voice.isEmpty() ? QStringLiteral("default") : voice);
    case Program::Flite:
        return QStringLiteral("flite ") + voice;
    case Program::Festival:
        return QStringLiteral("festival ") + voice;
    }
    return voice;
}

QString speak(const Speaker& speaker, const QString& text, const QString& path)
{
    switch (speaker.program) {
    case Speaker::Program::EspeakNg:
        // No voice is espeak-ng's own default.
        return run(QStringLiteral("espeak-ng"),
            (speaker.voice.isEmpty() ? QStringList {} : QStringList { QStringLiteral("-v"), speaker.voice })
                + QStringList { QStringLiteral("-w"), path, text });
    case Speaker::Program::Flite:
        return run(QStringLiteral("flite"),
            { QStringLiteral("-voice"), speaker.voice, QStringLiteral("-t"), text, QStringLiteral("-o"), path });
    case Speaker::Program::Festival:
        // text2wave reads the text from standard input and takes the voice as a Scheme call.
        return run(QStringLiteral("text2wave"),
            { QStringLiteral("-eval"), QStringLiteral("(voice_%1)").arg(speaker.voice), QStringLiteral("-o"), path },
            text.toUtf8());
    }
    return QStringLiteral("no such synthesiser");
}

double wordAccuracy(const QString& expected, const QString& heard)
{
    const WordErrors errors = wordErrors(expected, heard);
    if (errors.words == 0) {
        return errors.edits == 0 ? 1.0 : 0.0;
    }
    return std::max(0.0, 1.0 - static_cast<double>(errors.edits) / static_cast<double>(errors.words));
}

WordErrors wordErrors(const QString& expected, const QString& heard)
{
    const QStringList want = words(expected);
    const QStringList got = words(heard);
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
    return { previous.back(), want.size() };
}

} // namespace murmeli::test::SpokenAudio
