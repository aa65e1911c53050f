#pragma once

#include <atomic>
#include <memory>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "platform/audio/AudioFormat.h"

class QAudioSink;
class QBuffer;

namespace murmeli::platform {

/// The part of playback that talks to the sound server, on the sound server's own thread: Qt's sink waits in the
/// calling thread for the server to take a stream, for as long as a stopped server keeps it waiting. Each sound
/// carries an id; one that is no longer wanted (its id is not `wanted` any more) is dropped, even when it comes
/// after the server held this thread up for a while.
class QtSinkWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtSinkWorker)

public:
    explicit QtSinkWorker(std::shared_ptr<const std::atomic<quint64>> wanted);
    ~QtSinkWorker() override;

    /// Starts the sound with that id, if it is still wanted; started or ended follows.
    void play(quint64 id, const AudioFormat& format, const QByteArray& pcm);
    /// Stops the sound that plays if it is no longer wanted.
    void dropUnwanted();

Q_SIGNALS:
    /// The server took the sound, which lasts durationUs, on that device.
    void started(quint64 id, const QString& device, qint64 durationUs);
    /// The sound ended: played to its end when error is empty.
    void ended(quint64 id, const QString& error);

private:
    bool isWanted(quint64 id) const { return id != 0 && *m_wanted == id; }
    void fail(quint64 id, const QString& error);
    void onStateChanged();
    void checkProgress();
    void release();

    std::shared_ptr<const std::atomic<quint64>> m_wanted;
    std::unique_ptr<QAudioSink> m_sink;
    // Owned by m_sink.
    QBuffer* m_source = nullptr;
    quint64 m_id = 0;
    qint64 m_durationUs = 0;
    QString m_deviceName;
    // Polls how far the server has played: the sink's own signals say when the data was handed over, not heard.
    QTimer m_progress { this };
    // The server may still hold the last milliseconds when it reports them played; closing the stream would drop
    // them, so a finished sound's stream is closed a little later.
    QTimer m_linger { this };
    QElapsedTimer m_clock;
};

} // namespace murmeli::platform
