#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include <QTimer>

#include "platform/audio/AudioPlayer.h"

namespace murmeli::platform {

class QtSinkWorker;

/// Playback on the sound server's default output through Qt Multimedia's audio sink, which talks to PulseAudio (or
/// PipeWire's PulseAudio service) directly; Qt's media player would need GStreamer's plugins and crashes without
/// them. A format the device refuses is converted to take PCM first. The sink lives on the sound server's thread,
/// so a server that stops answering holds up that thread and never the caller's.
class QtAudioPlayer final : public AudioPlayer {
    Q_OBJECT

public:
    /// A server that takes the stream but never plays it reports nothing at all, so a sound that has not played to
    /// its end slack after its own duration fails; so does one that the server has not taken within slack.
    explicit QtAudioPlayer(std::chrono::milliseconds slack = std::chrono::seconds(2));
    ~QtAudioPlayer() override;

    bool isAvailable() const override;
    bool play(const AudioFormat& format, const QByteArray& pcm) override;
    bool playFile(const QString& path) override;
    void stop() override;
    bool isPlaying() const override { return m_playing; }
    QString errorString() const override { return m_error; }

private:
    bool refuse(const QString& error);
    void onStarted(quint64 id, const QString& device, qint64 durationUs);
    void onEnded(quint64 id, const QString& error);
    void onDeadline();
    void end(const QString& error);
    void dropOnWorker();

    std::chrono::milliseconds m_slack;
    // The id of the sound the worker should play; 0 for none. Shared with the worker, which reads it on its thread.
    std::shared_ptr<std::atomic<quint64>> m_wanted = std::make_shared<std::atomic<quint64>>(0);
    quint64 m_lastId = 0;
    // Lives on the sound server's thread and is deleted there.
    QtSinkWorker* m_worker = nullptr;
    QTimer m_deadline;
    bool m_playing = false;
    bool m_started = false;
    qint64 m_durationUs = 0;
    QString m_deviceName;
    QString m_error;
};

} // namespace murmeli::platform
