#pragma once

#include <QString>
#include <QStringList>

/// Real speech for recognition tests and benchmarks: espeak-ng is deterministic, so the same sentence in the same
/// voice is the same audio on every machine that has it.
namespace murmeli::test::SpokenAudio {

/// The espeak-ng voice that the packaged US English model hears best; its formant voices come back garbled.
inline const QString kVoice = QStringLiteral("en-us+klatt");

/// Sentences that the packaged model recognises word for word in that voice, directly and through resampling,
/// gain and padding.
QStringList recognisableSentences();

/// Writes text spoken by espeak-ng in voice to a WAV file (22050 Hz mono 16-bit); "" when done, else why not.
QString speakToWav(const QString& text, const QString& path, const QString& voice = kVoice);

/// One synthetic speaker: the program that speaks and its voice ("slt" for flite, "kal_diphone" for festival, "" for
/// espeak-ng's default).
struct Speaker final {
    enum class Program { EspeakNg, Flite, Festival };
    Program program = Program::EspeakNg;
    QString voice;

    /// "flite slt", "espeak-ng en-us+klatt".
    QString name() const;
};

/// Writes text spoken by speaker to a WAV file (mono 16-bit at the voice's rate); "" when done, else why not.
QString speak(const Speaker& speaker, const QString& text, const QString& path);

/// The word edit distance between what was said and what was heard, and the number of words said; case and
/// punctuation other than apostrophes are ignored.
struct WordErrors final {
    qsizetype edits = 0;
    qsizetype words = 0;
};
WordErrors wordErrors(const QString& expected, const QString& heard);

/// The share of the expected words that were heard: one less the word edit distance over the expected word count,
/// never below 0; case and punctuation other than apostrophes are ignored.
double wordAccuracy(const QString& expected, const QString& heard);

} // namespace murmeli::test::SpokenAudio
