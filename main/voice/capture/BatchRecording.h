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
    static constexpr auto fileName = "murmeli-ptt.wav";

    /// captures makes the take's capture; the file goes to tempDirectory (the system's when empty).
    explicit BatchRecording(const MicrophoneCapture& captures, QString tempDirectory = {});
    ~BatchRecording();
    BatchRecording(const BatchRecording&) = delete;
    BatchRecording& operator=(const BatchRecording&) = delete;

    /// Starts recording over the file of the previous take; the message for the user when it cannot.
    std::optional<QString> start();
    /// Stops and completes the file; nothing happens when no recording runs.
    void stop();
    bool isRecording() const { return m_recorder != nullptr; }

    QString filePath() const;

private:
    const MicrophoneCapture& m_captures;
    QString m_tempDirectory;
    // Declared so the recorder, which reads the capture, goes first.
    std::unique_ptr<platform::AudioCapture> m_capture;
    std::unique_ptr<platform::AudioFileRecorder> m_recorder;
};

} // namespace murmeli::voice
