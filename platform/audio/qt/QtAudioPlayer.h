#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QTimer>

#include "platform/audio/AudioPlayer.h"

class QAudioSink;
class QBuffer;

namespace murmeli::platform {

/// Playback on the sound server's default output through Qt Multimedia's audio sink, which talks to PulseAudio (or
/// PipeWire's PulseAudio service) directly; Qt's media player would need GStreamer's plugins and crashes without
/// them. A format the device refuses is converted to take PCM first.
class QtAudioPlayer final : public AudioPlayer {
    Q_OBJECT

public:
    /// A server that takes the stream but never plays it reports nothing at all, so a sound that has not played to
    /// its end slack after its own duration fails; so does one that waited slack for the server's first answer.
    explicit QtAudioPlayer(std::chrono::milliseconds slack = std::chrono::seconds(2));
    ~QtAudioPlayer() override;

    bool isAvailable() const override;
    bool play(const AudioFormat& format, const QByteArray& pcm) override;
    bool playFile(const QString& path) override;
    void stop() override;
    bool isPlaying() const override { return m_playing; }
    QString errorString() const override { return m_error; }

private:
    struct Sound final {
        AudioFormat format;
        QByteArray pcm;
    };

    bool start(const Sound& sound);
    bool refuse(const QString& error);
    void onStateChanged();
    void checkProgress();
    void end(const QString& error);
    void releaseSink();

    std::chrono::milliseconds m_slack;
    std::unique_ptr<QAudioSink> m_sink;
    // Owned by m_sink.
    QBuffer* m_source = nullptr;
    // The sound played before the sound server's first answer, started once it comes.
    std::optional<Sound> m_waiting;
    // Polls how far the server has played: the sink's own signals say when the data was handed over, not heard.
    QTimer m_progress;
    QTimer m_deadline;
    // The server may still hold the last milliseconds when it reports them played; closing the stream would drop
    // them, so a finished sound's stream is closed a little later.
    QTimer m_linger;
    QElapsedTimer m_clock;
    bool m_playing = false;
    qint64 m_durationUs = 0;
    QString m_deviceName;
    QString m_error;
};

} // namespace murmeli::platform
