#include "main/voice/capture/BatchRecording.h"

#include <utility>

#include <QDir>

#include "platform/audio/AudioFileRecorder.h"

namespace murmeli::voice {

BatchRecording::BatchRecording(const MicrophoneCapture& captures, QString tempDirectory)
    : m_captures(captures), m_tempDirectory(tempDirectory.isEmpty() ? QDir::tempPath() : std::move(tempDirectory))
{
}

BatchRecording::~BatchRecording()
{
    stop();
}

std::optional<QString> BatchRecording::start()
{
    stop();
    auto capture = m_captures.make();
    if (!capture) {
        return QStringLiteral("Mic init failed: no audio capture");
    }
    auto recorder = std::make_unique<platform::AudioFileRecorder>(*capture);
    if (!recorder->open(filePath())) {
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

void BatchRecording::stop()
{
    if (!m_recorder) {
        return;
    }
    // A failed write leaves the file with what was written; the recogniser then hears that much.
    m_recorder->stop();
    m_recorder.reset();
    m_capture.release()->deleteLater();
}

QString BatchRecording::filePath() const
{
    return QDir(m_tempDirectory).filePath(QString::fromLatin1(fileName));
}

} // namespace murmeli::voice
