#pragma once

#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioPlayer.h"

namespace murmeli::platform {

/// A player for tests that records every sound it would have played. A started sound plays until the test calls
/// finish() or fail(); the same checks as the real player refuse what could not be played.
class FakeAudioPlayer final : public AudioPlayer {
    Q_OBJECT

public:
    /// One sound handed to the player.
    struct Sound {
        AudioFormat format;
        QByteArray pcm;
        /// The WAV file it came from, or "" for PCM handed over directly.
        QString file;
    };

    FakeAudioPlayer() = default;

    bool isAvailable() const override { return m_available; }
    bool play(const AudioFormat& format, const QByteArray& pcm) override;
    bool playFile(const QString& path) override;
    void stop() override;
    bool isPlaying() const override { return m_playing; }
    QString errorString() const override { return m_error; }

    /// What isAvailable() reports; without a device every play fails. Available unless set.
    void setAvailable(bool available) { m_available = available; }
    /// The next play fails to start with the error, as a device that refuses the stream would.
    void failNextPlay(const QString& error) { m_nextPlayError = error; }
    /// The sound that plays reaches its end: finished is emitted. Nothing happens when none plays.
    void finish();
    /// The sound that plays fails as a lost device would: the player stops and emits failed(error).
    void fail(const QString& error);

    /// Every sound that started, in order.
    const std::vector<Sound>& played() const { return m_played; }
    /// How many sounds were cut short: by stop() or by a play while one was playing.
    int stopCount() const { return m_stops; }

private:
    bool start(Sound sound);

    bool m_available = true;
    bool m_playing = false;
    int m_stops = 0;
    QString m_error;
    QString m_nextPlayError;
    std::vector<Sound> m_played;
};

} // namespace murmeli::platform
