#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "main/voice/capture/MicrophoneCapture.h"

namespace murmeli::platform {
class AudioFileRecorder;
}

namespace murmeli::voice {

/// The batch take: the microphone recorded into a WAV file of take PCM, complete when the take stops. Main thread.
class BatchRecording final {
public:
    /// captures makes the take's capture.
    explicit BatchRecording(const MicrophoneCapture& captures);
    ~BatchRecording();
    BatchRecording(const BatchRecording&) = delete;
    BatchRecording& operator=(const BatchRecording&) = delete;

    /// Starts recording into the file at path, which the take owns; the message for the user when it cannot.
    std::optional<QString> start(const QString& path);
    /// Stops and completes the file; why the file misses some of the take when a write failed, else nullopt (also
    /// when no recording runs).
    std::optional<QString> stop();
    bool isRecording() const { return m_recorder != nullptr; }

    /// The file of the last recording.
    const QString& filePath() const { return m_path; }

private:
    const MicrophoneCapture& m_captures;
    QString m_path;
    // Declared so the recorder, which reads the capture, goes first.
    std::unique_ptr<platform::AudioCapture> m_capture;
    std::unique_ptr<platform::AudioFileRecorder> m_recorder;
};

} // namespace murmeli::voice
