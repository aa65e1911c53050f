#pragma once

#include <chrono>
#include <utility>

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace murmeli::platform {

/// What one recognition is asked to hear: a WAV file, or raw PCM when pcm is not empty.
struct RecognitionRequest final {
    /// A RIFF/WAVE file of 16-bit mono PCM; read only when pcm is empty.
    QString wavPath;
    /// Signed 16-bit little-endian mono samples at sampleRate.
    QByteArray pcm;
    int sampleRate = 16000;
    /// The language to recognise as a locale tag ("en-US"); the backend refuses one it has no model for.
    QString locale;
    /// Words and phrases the recogniser should favour, where the backend can use them.
    QStringList contextualHints;
    /// How long the recogniser may work before it gives up with TimedOut; the audio is finite, the machine may not be.
    std::chrono::milliseconds timeLimit { std::chrono::minutes(2) };

    static RecognitionRequest forFile(QString path, QString locale, QStringList hints = {});
    static RecognitionRequest forPcm(QByteArray pcm, int sampleRate, QString locale, QStringList hints = {});

    friend bool operator==(const RecognitionRequest&, const RecognitionRequest&) = default;
};

inline RecognitionRequest RecognitionRequest::forFile(QString path, QString locale, QStringList hints)
{
    RecognitionRequest request;
    request.wavPath = std::move(path);
    request.locale = std::move(locale);
    request.contextualHints = std::move(hints);
    return request;
}

inline RecognitionRequest RecognitionRequest::forPcm(QByteArray pcm, int sampleRate, QString locale, QStringList hints)
{
    RecognitionRequest request;
    request.pcm = std::move(pcm);
    request.sampleRate = sampleRate;
    request.locale = std::move(locale);
    request.contextualHints = std::move(hints);
    return request;
}

/// Why a recognition ended without text. The description is for the user and already says what went wrong.
struct RecognitionError final {
    enum class Code {
        Unavailable, // the library or its model is missing
        UnsupportedLocale, // no model for the request's locale
        UnreadableAudio, // the file is missing, not WAV, or in a format the backend does not take
        NoSpeech, // the audio held nothing the recogniser could turn into words
        TimedOut, // the request's time limit passed
        DecoderFailed, // the library itself failed
    };

    Code code = Code::DecoderFailed;
    QString description;

    /// The one wording of "heard nothing", whichever backend says it.
    static RecognitionError noSpeech() { return { Code::NoSpeech, QStringLiteral("No speech detected") }; }

    friend bool operator==(const RecognitionError&, const RecognitionError&) = default;
};

/// Whether the user lets this program recognise speech; the values keep the order of the platform's own status.
enum class RecognizerAuthorization { NotDetermined = 0, Denied = 1, Restricted = 2, Authorized = 3 };

} // namespace murmeli::platform

Q_DECLARE_METATYPE(murmeli::platform::RecognitionError)
