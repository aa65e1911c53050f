#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// Real speech for recognition tests and benchmarks: the synthesisers are deterministic, so the same sentence in the
/// same voice is the same audio on every machine that has them.
namespace murmeli::test::SpokenAudio {

/// One synthetic speaker: the program that speaks and its voice ("slt" for flite, "kal_diphone" for festival, "" for
/// espeak-ng's default).
struct Speaker final {
    enum class Program { EspeakNg, Flite, Festival };
    Program program = Program::EspeakNg;
    QString voice;

    /// "flite slt", "espeak-ng en-us+klatt".
    QString name() const;
};

/// How a word is said in place of the voice's own reading of it: its phones in the CMU dictionary's set, vowels with
/// their stress ("r iy1 d ih0 s").
struct Pronunciation final {
    QString word;
    QString phones;
};

/// Writes text spoken by speaker to a WAV file (mono 16-bit at the voice's rate), with the words of said said as
/// given (flite and festival only); "" when done, else why not, also when the voice is not there.
QString speak(const Speaker& speaker, const QString& text, const QString& path, const QList<Pronunciation>& said = {});

/// A developer word as developers also say it, in a sentence that is no line of the dictation model's text.
struct SaidOtherwise final {
    QString sentence;
    Pronunciation said;
    /// The way of saying it, for people: "ree-dis".
    QString how;
};

/// The second ways of saying developer words that the on-device recogniser's dictionary knows.
QList<SaidOtherwise> developerWordsSaidOtherwise();

/// The word edit distance between what was said and what was heard, and the number of words said; case and
/// punctuation other than apostrophes are ignored.
struct WordErrors final {
    qsizetype edits = 0;
    qsizetype words = 0;
};
WordErrors wordErrors(const QString& expected, const QString& heard);

/// The voice the tests speak in: flite's slt, whose speech is closer to a person's than espeak-ng's formant voices.
inline const Speaker kSpeaker { Speaker::Program::Flite, QStringLiteral("slt") };

/// Sentences that the on-device recogniser hears word for word in that voice, directly and through resampling,
/// gain and padding.
QStringList recognisableSentences();

/// Writes text spoken in kSpeaker's voice to a WAV file (16 kHz mono 16-bit); "" when done, else why not.
QString speakToWav(const QString& text, const QString& path);

/// The share of the expected words that were heard: one less the word edit distance over the expected word count,
/// never below 0; case and punctuation other than apostrophes are ignored.
double wordAccuracy(const QString& expected, const QString& heard);

} // namespace murmeli::test::SpokenAudio
