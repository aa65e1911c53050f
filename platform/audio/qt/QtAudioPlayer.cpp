#include "platform/audio/qt/QtAudioPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QThread>

#include "platform/audio/WavFile.h"
#include "platform/audio/qt/QtSinkWorker.h"
#include "platform/audio/qt/SoundServerContact.h"

namespace murmeli::platform {

QtAudioPlayer::QtAudioPlayer(std::chrono::milliseconds slack) : m_slack(slack)
{
    m_worker = new QtSinkWorker(m_wanted);
    // This makes the first contact now, so that the answer is usually there by the first sound.
    m_worker->moveToThread(SoundServerContact::thread());
    connect(m_worker, &QtSinkWorker::started, this, &QtAudioPlayer::onStarted, Qt::QueuedConnection);
    connect(m_worker, &QtSinkWorker::ended, this, &QtAudioPlayer::onEnded, Qt::QueuedConnection);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &QtAudioPlayer::onDeadline);
}

QtAudioPlayer::~QtAudioPlayer()
{
    *m_wanted = 0;
    // Deleted on its own thread once that thread is free again; until then nothing of it reaches this object.
    disconnect(m_worker, nullptr, this, nullptr);
    m_worker->deleteLater();
}

bool QtAudioPlayer::isAvailable() const
{
    // Asked only once the server has answered, when Qt holds the devices it listed and does not ask the server.
    return SoundServerContact::answered() && !QMediaDevices::defaultAudioOutput().isNull();
}

bool QtAudioPlayer::play(const AudioFormat& format, const QByteArray& pcm)
{
    stop();
    m_error.clear();
    if (!format.isValid() || pcm.size() < format.bytesPerFrame()) {
        return refuse(QStringLiteral("nothing to play in %1 bytes of %2").arg(pcm.size()).arg(format.describe()));
    }
    const quint64 id = ++m_lastId;
    *m_wanted = id;
    m_playing = true;
    m_started = false;
    m_deadline.start(m_slack);
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, id, format, pcm = pcm.left(pcm.size() - pcm.size() % format.bytesPerFrame())] {
            worker->play(id, format, pcm);
        },
        Qt::QueuedConnection);
    return true;
}

bool QtAudioPlayer::playFile(const QString& path)
{
    QString error;
    const std::optional<WavAudio> audio = WavFile::read(path, &error);
    if (!audio) {
        stop();
        return refuse(QStringLiteral("%1: %2").arg(path, error));
    }
    return play(audio->format, audio->pcm);
}

void QtAudioPlayer::stop()
{
    m_playing = false;
    m_deadline.stop();
    dropOnWorker();
}

void QtAudioPlayer::dropOnWorker()
{
    if (m_wanted->exchange(0) != 0) {
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker] { worker->dropUnwanted(); }, Qt::QueuedConnection);
    }
}

bool QtAudioPlayer::refuse(const QString& error)
{
    m_error = error;
    return false;
}

void QtAudioPlayer::onStarted(quint64 id, const QString& device, qint64 durationUs)
{
    if (!m_playing || id != *m_wanted) {
        return;
    }
    m_started = true;
    m_deviceName = device;
    m_durationUs = durationUs;
    m_deadline.start(std::chrono::milliseconds(durationUs / 1000) + m_slack);
}

void QtAudioPlayer::onEnded(quint64 id, const QString& error)
{
    if (m_playing && id == *m_wanted) {
        end(error);
    }
}

void QtAudioPlayer::onDeadline()
{
    if (!m_started) {
        end(QStringLiteral("the sound server did not answer within %1 ms; is PulseAudio or PipeWire running?")
                .arg(m_slack.count()));
        return;
    }
    end(QStringLiteral("\"%1\" did not play a sound of %2 ms within %3 ms more; is the sound server (PulseAudio or "
                       "PipeWire) running?")
            .arg(m_deviceName)
            .arg(m_durationUs / 1000)
            .arg(m_slack.count()));
}

void QtAudioPlayer::end(const QString& error)
{
    if (!m_playing) {
        return;
    }
    m_playing = false;
    m_deadline.stop();
    if (error.isEmpty()) {
        // The worker keeps the finished stream a moment longer on its own.
        *m_wanted = 0;
        Q_EMIT finished();
        return;
    }
    dropOnWorker();
    m_error = error;
    Q_EMIT failed(error);
}

} // namespace murmeli::platform
