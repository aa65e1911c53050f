#pragma once

#include <memory>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/audio/AudioFormat.h"

class QAudioSource;

namespace murmeli::platform {

class CaptureSink;

/// The part of a capture that talks to the sound server, on the sound server's own thread: Qt's source waits in the
/// calling thread for the server to take a stream, and again to let go of it, for as long as a stopped server keeps
/// it waiting. Each opening carries a session number, which everything it reports names, so that the capture can
/// tell what comes late from a session it has given up on.
class QtSourceWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtSourceWorker)

public:
    static constexpr auto noInputDevice = "no audio input device; is a sound server (PulseAudio or PipeWire) running?";

    QtSourceWorker();
    ~QtSourceWorker() override;

    /// Stops what runs, then captures the default input in its own format, in buffers of bufferFrames: opened and
    /// then captured follow, or failed.
    void open(quint64 session, int bufferFrames);
    /// Stops capturing; nothing more of the session that ran is reported.
    void close();

Q_SIGNALS:
    /// The session captures from that device, in that format.
    void opened(quint64 session, const QString& device, const murmeli::platform::AudioFormat& format);
    /// One buffer as the device wrote it, in the device's format.
    void captured(quint64 session, const QByteArray& bytes);
    /// The session did not start, or stopped on its own.
    void failed(quint64 session, const QString& error);

private:
    void onStopped();

    std::unique_ptr<QAudioSource> m_source;
    std::unique_ptr<CaptureSink> m_sink;
    quint64 m_session = 0;
    QString m_deviceName;
};

} // namespace murmeli::platform
