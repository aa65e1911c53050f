#pragma once

#include <memory>

#include "main/common/Log.h"
#include "main/device/tts/TTSOutput.h"
#include "platform/audio/AudioPlayer.h"

namespace murmeli::device {

/// The computer's own speaker: the ADPCM is decoded again and handed to the sound server's player. play() returns
/// as soon as the sound has started, so the engine is free while it is heard; a newer phrase or stop() cuts it short.
class MacTTSOutput final : public TTSOutput {
public:
    static constexpr auto outputId = "mac-speaker";
    static constexpr auto outputDisplayName = "Computer Speaker";

    /// Plays through the player, which lives on this thread.
    explicit MacTTSOutput(std::unique_ptr<platform::AudioPlayer> player);

    common::LogSink onLog;

    QString id() const override { return QString::fromLatin1(outputId); }
    QString displayName() const override { return QString::fromLatin1(outputDisplayName); }
    /// Always true: without a sound server the phrase fails with a log line instead of vanishing unheard.
    bool isAvailable() const override { return true; }
    /// Completes once playback has started or failed to start.
    QCoro::Task<> play(QByteArray adpcm) override;
    void stop() override;

private:
    std::unique_ptr<platform::AudioPlayer> m_player;
};

} // namespace murmeli::device
