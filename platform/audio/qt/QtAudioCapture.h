#pragma once

#include <chrono>
#include <memory>

#include <QTimer>

#include "platform/audio/AudioCapture.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/qt/CaptureSink.h"

class QAudioSource;

namespace murmeli::platform {

/// Capture of the sound server's default input through Qt Multimedia, which talks to PulseAudio (or PipeWire's
/// PulseAudio service) directly. The input's own format is taken and converted here, with speexdsp.
class QtAudioCapture final : public AudioCapture {
    Q_OBJECT

public:
    /// Without a sound server the source neither fails nor delivers, so a capture that has had no audio for
    /// noAudioLimit gives up and reports it.
    explicit QtAudioCapture(std::chrono::milliseconds noAudioLimit = std::chrono::seconds(2));
    ~QtAudioCapture() override;

    MicrophoneAccess checkAccess() const override;
    bool start() override;
    void stop() override;
    bool isActive() const override { return m_source != nullptr; }
    QString errorString() const override { return m_error; }

private:
    void onCaptured(QByteArrayView captured);
    void onSourceStopped();
    void giveUp(const QString& error);
    void releaseSource();

    std::chrono::milliseconds m_noAudioLimit;
    std::unique_ptr<QAudioSource> m_source;
    std::unique_ptr<AudioConverter> m_converter;
    CaptureSink m_sink;
    QTimer m_watchdog;
    QString m_deviceName;
    QString m_error;
};

} // namespace murmeli::platform
