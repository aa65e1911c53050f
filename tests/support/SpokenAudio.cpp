#include "tests/support/SpokenAudio.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
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

// flite speaks in its default voice when asked for one it does not have, and says nothing of it.
QString fliteLacks(const QString& voice)
{
    static const QStringList voices = [] {
        QProcess list;
        list.start(QStringLiteral("flite"), { QStringLiteral("-lv") });
        list.waitForFinished(10000);
        return QString::fromLocal8Bit(list.readAllStandardOutput())
            .section(QLatin1Char(':'), 1)
            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }();
    // Without a list, running flite says what is wrong.
    return voices.isEmpty() || voices.contains(voice) ? QString() : QStringLiteral("flite has no voice %1").arg(voice);
}

// Festival's lexicon entry for the word: its phones in syllables of one vowel each, with the vowel's stress, the
// last syllable taking the consonants after it: ("redis" nil (((r iy) 1) ((d ih s) 0))).
QString festivalEntry(const Pronunciation& said)
{
    QList<std::pair<QStringList, int>> syllables;
    QStringList pending;
    for (const QString& phone : said.phones.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (phone.back().isDigit()) {
            pending << phone.chopped(1);
            syllables.append({ pending, phone.back() == QLatin1Char('0') ? 0 : 1 });
            pending.clear();
        } else {
            pending << phone;
        }
    }
    if (!syllables.isEmpty()) {
        syllables.last().first << pending;
    }
    QString entry = QStringLiteral("(lex.add.entry '(\"%1\" nil (").arg(said.word);
    for (const auto& [phones, stress] : syllables) {
        entry += QStringLiteral("((%1) %2)").arg(phones.join(QLatin1Char(' '))).arg(stress);
    }
    return entry + QStringLiteral(")))");
}

} // namespace

QList<SaidOtherwise> developerWordsSaidOtherwise()
{
    return {
        { "restart redis and try again", { "redis", "r iy1 d ih0 s" }, "ree-dis" },
        { "the eslint rules are too strict", { "eslint", "eh1 s l ih0 n t" }, "es-lint" },
        { "delete the venv and make a new one", { "venv", "v iy1 eh1 n v" }, "vee-env" },
        { "keep the cache in sqlite", { "sqlite", "s iy1 k w ah0 l ay1 t" }, "sequel-ite" },
        { "the sqlite file is too big", { "sqlite", "eh1 s k y uw1 eh1 l ay1 t" }, "ess-queue-ell-ite" },
        { "the regex misses the last line", { "regex", "r eh1 g eh0 k s" }, "reg-ex" },
        { "the script asks for sudo", { "sudo", "s uw1 d ow0" }, "soo-doh" },
        { "the gui needs a dark theme", { "gui", "jh iy1 y uw1 ay1" }, "gee-you-eye" },
        { "scale the kubernetes service down", { "kubernetes", "k uw1 b er0 n ey1 t iy0 z" }, "koo-ber-nay-tees" },
        { "put the key in the env", { "env", "eh1 n v iy0" }, "en-vee" },
        { "add a param for the port", { "param", "p ae1 r ah0 m" }, "pair-am" },
        { "check the params before the call", { "params", "p ae1 r ah0 m z" }, "pair-ams" },
        { "the yml file has a typo", { "yml", "w ay1 eh1 m eh1 l" }, "why-em-el" },
    };
}

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

QString speak(const Speaker& speaker, const QString& text, const QString& path, const QList<Pronunciation>& said)
{
    switch (speaker.program) {
    case Speaker::Program::EspeakNg:
        if (!said.isEmpty()) {
            return QStringLiteral("espeak-ng is given no pronunciations here");
        }
        // No voice is espeak-ng's own default.
        return run(QStringLiteral("espeak-ng"),
            (speaker.voice.isEmpty() ? QStringList {} : QStringList { QStringLiteral("-v"), speaker.voice })
                + QStringList { QStringLiteral("-w"), path, text });
    case Speaker::Program::Flite: {
        if (const QString lacking = fliteLacks(speaker.voice); !lacking.isEmpty()) {
            return lacking;
        }
        QStringList arguments { QStringLiteral("-voice"), speaker.voice };
        QFile lexicon(path + QStringLiteral(".lex"));
        if (!said.isEmpty()) {
            if (!lexicon.open(QIODevice::WriteOnly)) {
                return QStringLiteral("cannot write %1").arg(lexicon.fileName());
            }
            for (const Pronunciation& word : said) {
                lexicon.write((word.word + QStringLiteral(" : ") + word.phones + QLatin1Char('\n')).toUtf8());
            }
            lexicon.close();
            arguments << QStringLiteral("-add_lex") << lexicon.fileName();
        }
        const QString failure = run(QStringLiteral("flite"),
            arguments + QStringList { QStringLiteral("-t"), text, QStringLiteral("-o"), path });
        lexicon.remove();
        return failure;
    }
    case Speaker::Program::Festival: {
        // text2wave reads the text from standard input and takes the voice as a Scheme call.
        QStringList arguments { QStringLiteral("-eval"), QStringLiteral("(voice_%1)").arg(speaker.voice) };
        for (const Pronunciation& word : said) {
            arguments << QStringLiteral("-eval") << festivalEntry(word);
        }
        if (const QString failure
            = run(QStringLiteral("text2wave"), arguments + QStringList { QStringLiteral("-o"), path }, text.toUtf8());
            !failure.isEmpty()) {
            return failure;
        }
        // Without the voice text2wave writes nothing and still succeeds.
        return QFileInfo(path).size() > 44 ? QString() : QStringLiteral("festival has no voice %1").arg(speaker.voice);
    }
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
