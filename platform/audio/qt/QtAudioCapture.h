#pragma once

#include <chrono>
#include <memory>

#include <QTimer>

#include "platform/audio/AudioCapture.h"
#include "platform/audio/AudioConverter.h"

namespace murmeli::platform {

class QtSourceWorker;

/// Capture of the sound server's default input through Qt Multimedia, which talks to PulseAudio (or PipeWire's
/// PulseAudio service) directly. The input's own format is taken and converted here, with speexdsp. Qt's source lives
/// on the sound server's thread (QtSourceWorker), so a server that stops answering holds up that thread and never
/// the caller's: the capture then hears nothing, and gives up once the time limit has passed.
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
    bool isActive() const override { return m_session != 0; }
    QString errorString() const override { return m_error; }

private:
    void onOpened(quint64 session, const QString& device, const AudioFormat& format);
    void onCaptured(quint64 session, const QByteArray& captured);
    void onWorkerFailed(quint64 session, const QString& error);
    void giveUp(const QString& error);
    /// The converter's last samples, through pcmCaptured.
    void emitTail();
    void releaseSource();

    std::chrono::milliseconds m_noAudioLimit;
    // Lives on the sound server's thread and is deleted there.
    QtSourceWorker* m_worker = nullptr;
    // The running session's number, 0 while none runs; what the worker reports of another one is stale.
    quint64 m_session = 0;
    quint64 m_lastSession = 0;
    // Made once the worker has said what the device gives.
    std::unique_ptr<AudioConverter> m_converter;
    QTimer m_watchdog;
    QString m_deviceName;
    QString m_error;
};

} // namespace murmeli::platform
