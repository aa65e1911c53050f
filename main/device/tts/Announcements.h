#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QJsonObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/device/cues/AudioCueOutput.h"
#include "main/device/link/BLEBridge.h"
#include "main/device/tts/TTSBackend.h"
#include "main/device/tts/TTSEngine.h"
#include "main/hooks/approvals/ApprovalTypes.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptData.h"
#include "platform/audio/AudioPlayer.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::device {

/// What murmeli says out loud: the announcement engine with its backend and its two speakers, the phrases for
/// agent events and approvals, and the cue output that the panel and the controller share. Lives on the main thread.
class Announcements final {
public:
    Announcements(platform::Defaults& defaults, common::Clock& clock);
    ~Announcements();
    Announcements(const Announcements&) = delete;
    Announcements& operator=(const Announcements&) = delete;

    device::TTSEngine& tts() { return m_tts; }

    /// Silent until the owner of the panel hands over the one that plays files.
    device::AudioCueOutput& audioCue() { return *m_audioCue; }
    void setAudioCue(std::shared_ptr<device::AudioCueOutput> output);
    /// The cue output that plays the shipped sound files and speaks a cue's phrase through this engine.
    std::shared_ptr<device::AudioCueOutput> makeAssetCueOutput(
        const QString& executablePath, std::unique_ptr<platform::AudioPlayer> player, common::LogSink logSink);

    /// Gives the engine its synthesis backend, the device's speaker (when the device link runs) and the computer's.
    void start(std::shared_ptr<device::TTSBackend> backend, device::BLEBridge* ble,
        std::unique_ptr<platform::AudioPlayer> speaker, common::LogSink logSink);
    /// The speaker follows the microphone: the device speaks only while it is the microphone, and then only while
    /// it is connected; otherwise the computer does.
    void followMicrophone(bool deviceIsMicrophone);

    /// The prompt for a permission request that became the active one; completes when it has been spoken or dropped.
    QCoro::Task<> speakApproval(hooks::ApprovalRequest request);
    /// The phrase for a finished turn, a turn that ended in an API error or a failed tool; other events say nothing.
    /// Spoken in the background.
    void speakForHookEvent(const QString& eventName, const QJsonObject& payload,
        const hooks::TranscriptData& transcript, const std::optional<hooks::ClaudeStatus>& status);

private:
    void speakInBackground(QString phrase);

    common::Clock& m_clock;
    device::TTSEngine m_tts;
    std::shared_ptr<device::AudioCueOutput> m_audioCue;
};

} // namespace murmeli::device
