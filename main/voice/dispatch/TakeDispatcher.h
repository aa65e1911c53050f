#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

#include "main/voice/capture/TakeFiles.h"
#include "main/voice/context/STTContext.h"

namespace murmeli::voice {

/// Where every take ends: the 0.3 s rule, the choice of backend for a recorded file, the delivery of a streaming
/// take's text and the fallback of a failed streaming take to the on-device recogniser over a backup WAV file.
/// Each take leaves through exactly one terminal call, onResult or a terminal onError; the fallback notices come
/// before the on-device recogniser's own outcome. Main thread only.
class TakeDispatcher final {
public:
    /// Takes of this many seconds or less are not transcribed.
    static constexpr double minimumSeconds = 0.3;
    static constexpr auto tooShortText = "Recording too short";
    static constexpr auto noSpeechText = "Cloud STT: no speech detected";
    static constexpr auto backupFileStem = "murmeli-streaming-backup";
    static constexpr int takeSampleRate = 16000;

    /// The two texts of a failed streaming take: the notice before the on-device attempt, and the prefix of the
    /// failure when there is no audio to fall back with.
    struct FallbackTexts final {
        const char* notice;
        const char* failurePrefix;
    };
    static constexpr FallbackTexts runTaskTexts { "Streaming failed, fallback to Apple STT", "Streaming STT failed: " };
    static constexpr FallbackTexts v3Texts { "v3 streaming failed, fallback to Apple STT",
        "v3 streaming STT failed: " };

    /// What the dispatcher reads and calls; the transcription paths report through the engine's callbacks.
    struct Routes final {
        std::function<QString()> effectiveBackendId;
        std::function<QString()> cloudToken;
        /// The on-device recogniser over a WAV file.
        std::function<void(const QString& wavPath)> transcribeOnDevice;
        /// The cloud upload of a take; it falls back on its own.
        std::function<void(const QString& wavPath, const std::optional<QByteArray>& wav, const STTContext& context)>
            transcribeCloud;
    };

    /// files holds the backup file of a take and must outlive this.
    TakeDispatcher(Routes routes, TakeFiles& files);

    /// Whether a recorded take goes to the upload: the cloud backend without streaming, with a token.
    static bool uploads(const QString& effectiveBackendId, const QString& cloudToken);
    /// Whether a take of this length is transcribed: strictly more than 0.3 s.
    static bool isLongEnough(double seconds) { return seconds > minimumSeconds; }

    /// A recorded take: the cloud upload when the cloud backend is chosen without streaming and a token is held,
    /// else the on-device recogniser over the file (the bytes and the context are then not used).
    void dispatch(const QString& wavPath, const std::optional<QByteArray>& wav, const STTContext& context);
    /// A cloud take's final text: onResult, or the no-speech notice when it is empty.
    void deliverText(const QString& text);
    /// A streaming take that failed: with audio, the notice and the on-device recogniser over the backup file;
    /// without, or when the backup cannot be written, the failure prefix and the error.
    void fallback(const QByteArray& pcm, const QString& error, FallbackTexts texts);
    /// A take of 0.3 s or less.
    void reportTooShort();
    /// A terminal error of a take that has nothing to fall back to.
    void reportError(const QString& message);

    std::function<void(const QString& text)> onResult;
    std::function<void(const QString& message)> onError;

private:
    Routes m_routes;
    TakeFiles& m_files;
};

} // namespace murmeli::voice
