#pragma once

#include <QFile>
#include <QMetaObject>
#include <QString>

namespace murmeli::platform {

class AudioCapture;

/// Records a capture's take PCM into a WAV file (16 kHz mono 16-bit): the batch take. The samples are written as
/// they arrive, and stop() completes the header, so the file holds every sample captured up to the stop.
class AudioFileRecorder final {
public:
    /// A recorder over capture, which must outlive it.
    explicit AudioFileRecorder(AudioCapture& capture);
    ~AudioFileRecorder();
    Q_DISABLE_COPY_MOVE(AudioFileRecorder)

    /// Creates or replaces the file at path as an empty take; false with errorString() when it cannot be written.
    bool open(const QString& path);
    /// Starts the capture into the open file; false with errorString() when there is no open file or the capture
    /// does not start.
    bool record();
    /// Stops the capture and completes the file; false with errorString() when a write failed on the way, in which
    /// case the file holds what was written before. Without a recording it only closes the file.
    bool stop();

    bool isRecording() const { return m_recording; }
    /// Bytes of PCM in the file so far.
    qint64 recordedBytes() const { return m_dataBytes; }
    QString errorString() const { return m_error; }

private:
    void append(const QByteArray& pcm);
    bool completeHeader();

    AudioCapture& m_capture;
    QFile m_file;
    QMetaObject::Connection m_connection;
    qint64 m_dataBytes = 0;
    bool m_recording = false;
    bool m_writeFailed = false;
    QString m_error;
};

} // namespace murmeli::platform
