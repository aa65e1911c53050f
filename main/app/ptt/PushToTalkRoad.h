#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include <QCoroTask>

#include "main/app/ptt/FnDoubleTapDetector.h"
#include "main/app/ptt/PTTLogFile.h"
#include "main/app/ptt/PTTSessionLog.h"
#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/settings/PTTHotkey.h"
#include "main/voice/context/STTContext.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/engine/TakeControl.h"
#include "main/voice/flow/VoiceFlowCoordinator.h"
#include "platform/desktop/GlobalHotkeys.h"
#include "platform/desktop/KeyChord.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {
class SpeechEngine;
class VoiceTextInjector;
} // namespace murmeli::voice

namespace murmeli::app {

/// The controller's push-to-talk road, from a trigger to the pasted text: the keys (F13 held down, the user's own
/// hotkey and the panel toggling, Esc from a take's release until its text is pasted or dropped), the microphone and
/// context of a take, the push-to-talk log, and the voice flow from start to paste, with the panel's voice fields
/// following it. The engine's side of a take (its path, its stop, its notices, the polish gate) is
/// voice::TakeControl's. Main thread only.
class PushToTalkRoad final {
public:
    /// What started a take; F13 records while it is held, the others toggle.
    enum class Trigger { F13, CustomHotkey, FnDoubleTap, Panel };

    /// How long a stopped take may take to bring its text before the road gives up on it and takes new ones again:
    /// longer than the engine's whole way to an outcome, cloud and fallback, so the engine says why first.
    static constexpr qint64 outcomeLimitMs = voice::SpeechEngine::longestOutcomeMs + 5000;
    static constexpr auto escCancelReason = "esc_key";
    /// Under the strip when a take ends because the microphone never opened.
    static constexpr auto microphoneFailedNotice = "murmeli: the microphone did not answer, nothing was recorded";

    /// The device's microphone as the link offers it; each empty member means there is no device.
    struct DeviceMicrophone final {
        /// Whether the device is connected, so that its microphone can be used.
        std::function<bool()> connected;
        /// From now on the device's notifications are its audio, which reaches the engine while a take streams.
        std::function<void()> startCapture;
        /// Back to text lines; the audio collected since the start as 16-bit PCM at 8 kHz.
        std::function<QByteArray()> stopCapture;
    };

    /// What the road works with; everything must outlive it.
    struct Links final {
        voice::SpeechEngine& speech;
        notch::PanelViewModel& vm;
        platform::GlobalHotkeys& hotkeys;
        voice::VoiceTextInjector& injector;
        voice::VoiceFlowCoordinator::Detector detectMode;
        const platform::Defaults& defaults;
        common::Clock& clock;
        /// The recognition context of the next take.
        std::function<voice::STTContext()> nextContext;
        /// The device's microphone.
        DeviceMicrophone device;
        /// Where the push-to-talk log goes; its default folder when empty.
        QString logDirectory;
    };

    explicit PushToTalkRoad(Links links);
    ~PushToTalkRoad();
    PushToTalkRoad(const PushToTalkRoad&) = delete;
    PushToTalkRoad& operator=(const PushToTalkRoad&) = delete;

    /// Takes F13, asks for the microphone and takes the custom hotkey the settings store; called once when the back
    /// end starts.
    void start();
    /// The chord of a stored custom hotkey (its key code is the key's symbol; Alt is stored in the option bit and
    /// Super in the command bit); none when it is unbound.
    static std::optional<platform::KeyChord> customHotkeyChord(const settings::PTTHotkey& hotkey);
    /// The user's own hotkey: the earlier one is given back, then this one (when there is one) is taken.
    void rebindCustomHotkey(std::optional<platform::KeyChord> chord);

    /// A grabbed key went down or up; false when the key is none of the road's.
    bool handleHotkey(platform::HotkeyId id, bool pressed);
    /// While the settings' hotkey recorder waits for a key, the push-to-talk keys start and toggle nothing: a key
    /// pressed then is meant for the recorder. A take held on F13 still ends when F13 comes up.
    void setHotkeyRecording(bool recording) { m_hotkeyRecording = recording; }
    /// Starts a take, or ends the running one (the panel's button, the custom hotkey, the Fn double tap).
    void toggle(Trigger trigger);
    /// Esc from the panel or the key: cancels the take from its key's release until its text is pasted or dropped.
    void cancelFromEsc();

    /// Whether a take is recording now.
    bool isRecording() const { return m_recording; }
    voice::VoiceFlowCoordinator& flow() { return m_flow; }
    FnDoubleTapDetector& fnDoubleTap() { return m_fnDoubleTap; }
    PTTLogFile& pttLog() { return m_pttLog; }

    common::LogSink onLog;

private:
    struct Take final {
        PTTSessionLog record;
        voice::STTContext context;
        bool deviceCapture = false;
    };

    void begin(Trigger trigger);
    QCoro::Task<> startFlow(QString what);
    void end();
    void finish(const QString& text, bool success, const std::optional<QString>& error);
    void giveUpOnOutcome();
    /// Writes the held record once the flow is back to idle.
    void logEndedTake();
    QByteArray stopDeviceCapture();
    void wireEngine();
    void wireFlow();
    /// Whether Esc cancels now: a take whose key is up waits for its text, its polish, its commit window or its paste.
    bool escCancels() const;
    void holdEsc(bool hold);

    Links m_links;
    voice::TakeControl m_takes;
    voice::VoiceFlowCoordinator m_flow;
    FnDoubleTapDetector m_fnDoubleTap;
    PTTLogFile m_pttLog;
    std::optional<platform::HotkeyId> m_f13;
    std::optional<platform::HotkeyId> m_custom;
    std::optional<platform::HotkeyId> m_esc;
    bool m_escRefusedLogged = false;
    bool m_recording = false;
    bool m_hotkeyRecording = false;
    std::optional<Take> m_take;
    // The record of a recognised take, written once the flow has done with its text.
    std::optional<PTTSessionLog> m_unlogged;
    std::optional<common::Clock::TimerId> m_outcomeTimer;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

QString toString(PushToTalkRoad::Trigger trigger);

} // namespace murmeli::app
