#pragma once

#include "platform/audio/AudioPlayer.h"

namespace murmeli::platform {

/// The player of a build without a sound-server backend: no device, and every play fails with the reason.
class UnavailableAudioPlayer final : public AudioPlayer {
    Q_OBJECT

public:
    UnavailableAudioPlayer() = default;

    bool isAvailable() const override { return false; }
    bool play(const AudioFormat& format, const QByteArray& pcm) override;
    bool playFile(const QString& path) override;
    void stop() override { }
    bool isPlaying() const override { return false; }
    QString errorString() const override { return m_error; }

private:
    QString m_error;
};

} // namespace murmeli::platform
