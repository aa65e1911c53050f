#include "platform/audio/AudioFileRecorder.h"

#include "platform/audio/AudioCapture.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/WavFile.h"

namespace murmeli::platform {

namespace {

// A WAV header counts its sizes in 32 bits.
constexpr qint64 maxDataBytes = 0xFFFFFFFFLL - 36;

} // namespace

AudioFileRecorder::AudioFileRecorder(AudioCapture& capture) : m_capture(capture) { }

AudioFileRecorder::~AudioFileRecorder()
{
    stop();
}

bool AudioFileRecorder::open(const QString& path)
{
    stop();
    m_error.clear();
    m_writeFailed = false;
    m_dataBytes = 0;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = m_file.errorString();
        return false;
    }
    const QByteArray header = WavFile::header(AudioFormat::take(), 0);
    if (m_file.write(header) != header.size()) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    return true;
}

bool AudioFileRecorder::record()
{
    if (m_recording) {
        return true;
    }
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("no file is open for the recording");
        return false;
    }
    m_connection
        = QObject::connect(&m_capture, &AudioCapture::pcmCaptured, [this](const QByteArray& pcm) { append(pcm); });
    if (!m_capture.start()) {
        QObject::disconnect(m_connection);
        m_error = m_capture.errorString();
        return false;
    }
    m_recording = true;
    return true;
}

bool AudioFileRecorder::stop()
{
    if (m_recording) {
        m_recording = false;
        // The capture's last samples arrive during its stop, so the connection stays until it has returned.
        m_capture.stop();
        QObject::disconnect(m_connection);
    }
    if (!m_file.isOpen()) {
        return !m_writeFailed;
    }
    const bool complete = completeHeader() && !m_writeFailed;
    m_file.close();
    return complete;
}

void AudioFileRecorder::append(const QByteArray& pcm)
{
    if (m_writeFailed || pcm.isEmpty()) {
        return;
    }
    if (m_dataBytes + pcm.size() > maxDataBytes || m_file.write(pcm) != pcm.size()) {
        m_writeFailed = true;
        m_error = m_dataBytes + pcm.size() > maxDataBytes ? QStringLiteral("the recording outgrew a WAV file")
                                                          : m_file.errorString();
        return;
    }
    m_dataBytes += pcm.size();
}

bool AudioFileRecorder::completeHeader()
{
    const QByteArray header = WavFile::header(AudioFormat::take(), quint32(m_dataBytes));
    if (!m_file.seek(0) || m_file.write(header) != header.size() || !m_file.flush()) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}

} // namespace murmeli::platform
