#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include "main/common/Log.h"
#include "main/device/cues/AudioCueOutput.h"
#include "platform/audio/AudioPlayer.h"

namespace murmeli::device {

/// Plays each cue's ".wav" file from the first sound folder that holds it, and speaks the cue's fallback phrase
/// when the file is missing or will not play. A new cue cuts the previous one short. Lives on the main thread.
class AssetAudioCueOutput final : public AudioCueOutput {
public:
    /// Hands a phrase to the speech engine without waiting for it; whether it is heard is the engine's decision.
    using SpeakFallback = std::function<void(const QString& phrase)>;

    /// soundFolders are searched in order (common::resourceFolderCandidates gives the ones beside the executable);
    /// the player is the output's own.
    AssetAudioCueOutput(SpeakFallback speak, common::LogSink logSink, QStringList soundFolders,
        std::unique_ptr<platform::AudioPlayer> player);
    ~AssetAudioCueOutput() override;

    /// The speech engine's way in; empty when there is none, and then a cue without its sound stays silent.
    SpeakFallback speakFallback;
    /// Log lines, each beginning "AudioCue: ".
    common::LogSink onLog;

    void play(AudioCue cue) override;

    /// The cue's file, or nullopt. Each cue is looked up once, a miss included: a file added later is not seen.
    std::optional<QString> resolveAssetPath(AudioCue cue);

private:
    void fallback(AudioCue cue);

    QStringList m_soundFolders;
    std::unique_ptr<platform::AudioPlayer> m_player;
    // The file whose sound the player plays, for the line that says it failed.
    QString m_currentSound;
    std::map<QString, std::optional<QString>> m_pathCache;
};

} // namespace murmeli::device
