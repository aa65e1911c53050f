#include "main/voice/capture/BatchRecording.h"

#include <utility>

#include "platform/audio/AudioFileRecorder.h"

namespace murmeli::voice {

BatchRecording::BatchRecording(const MicrophoneCapture& captures) : m_captures(captures) { }

BatchRecording::~BatchRecording()
{
    stop();
}

std::optional<QString> BatchRecording::start(const QString& path)
{
    stop();
    m_path = path;
    auto capture = m_captures.make();
    if (!capture) {
        return QStringLiteral("Mic init failed: no audio capture");
    }
    auto recorder = std::make_unique<platform::AudioFileRecorder>(*capture);
    if (!recorder->open(m_path)) {
        return QStringLiteral("Mic init failed: ") + recorder->errorString();
    }
    if (!recorder->record()) {
        recorder->stop();
        return QStringLiteral("Mic failed to start");
    }
    m_capture = std::move(capture);
    m_recorder = std::move(recorder);
    return std::nullopt;
}

std::optional<QString> BatchRecording::stop()
{
    if (!m_recorder) {
        return std::nullopt;
    }
    // A failed write leaves the file with what was written; the recogniser then hears that much.
    std::optional<QString> failure;
    if (!m_recorder->stop()) {
        failure = m_recorder->errorString();
    }
    m_recorder.reset();
    m_capture.release()->deleteLater();
    return failure;
}

} // namespace murmeli::voice
