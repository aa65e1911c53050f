#include "main/app/ptt/PushToTalkRoad.h"

#include "main/common/TextUtils.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/flow/SpeechEnhancerPolisher.h"
#include "main/voice/injection/VoiceTextInjector.h"

namespace murmeli::app {

using common::LogColor;
using voice::VoiceFlowState;

QString toString(PushToTalkRoad::Trigger trigger)
{
    switch (trigger) {
    case PushToTalkRoad::Trigger::F13:
        return QString::fromLatin1(PTTSessionLog::triggerF13);
    case PushToTalkRoad::Trigger::CustomHotkey:
        return QString::fromLatin1(PTTSessionLog::triggerCustomHotkey);
    case PushToTalkRoad::Trigger::FnDoubleTap:
        return QString::fromLatin1(PTTSessionLog::triggerFnDoubleTap);
    case PushToTalkRoad::Trigger::Panel:
        return QString::fromLatin1(PTTSessionLog::triggerPanel);
    }
    return {};
}

PushToTalkRoad::PushToTalkRoad(Links links)
    : m_links(std::move(links)), m_takes(m_links.speech, m_links.defaults),
      m_flow(m_links.detectMode, m_links.injector,
          std::make_unique<voice::SpeechEnhancerPolisher>(m_links.speech.enhancer()),
          voice::VoiceFlowClock::over(m_links.clock)),
      m_pttLog(m_links.logDirectory)
{
    m_flow.setLogger([this](const QString& line) { onLog(line, LogColor::Grey); });
    m_pttLog.onLog = [this](const QString& message, LogColor color) { onLog(message, color); };
    m_fnDoubleTap.onDoubleTap = [this] { toggle(Trigger::FnDoubleTap); };
    wireEngine();
    wireFlow();
}

PushToTalkRoad::~PushToTalkRoad()
{
    if (m_outcomeTimer) {
        m_links.clock.cancel(*m_outcomeTimer);
    }
    for (const auto& id : { m_f13, m_custom, m_esc }) {
        if (id) {
            m_links.hotkeys.ungrab(*id);
        }
    }
}


void PushToTalkRoad::start()
{
    const platform::HotkeyGrab grab = m_links.hotkeys.grab(platform::KeyChord::f13());
    if (grab.id) {
        m_f13 = grab.id;
    } else {
        onLog(QStringLiteral("PTT: F13 cannot be used for push-to-talk: ") + grab.error, LogColor::Orange);
    }
    m_links.speech.requestPermission({});
    rebindCustomHotkey(customHotkeyChord(settings::PTTHotkey::loadFromDefaults(m_links.defaults)));
}

std::optional<platform::KeyChord> PushToTalkRoad::customHotkeyChord(const settings::PTTHotkey& hotkey)
{
    if (!hotkey.isBound() || hotkey.keyCode == 0) {
        return std::nullopt;
    }
    using platform::KeyModifier;
    namespace bit = settings::HotkeyModifier;
    const std::pair<quint64, KeyModifier> modifiers[] = {
        { bit::shift, KeyModifier::Shift },
        { bit::control, KeyModifier::Ctrl },
        { bit::option, KeyModifier::Alt },
        { bit::command, KeyModifier::Super },
    };
    platform::KeyChord chord { hotkey.keyCode, std::nullopt, {}, std::nullopt };
    for (const auto& [mask, modifier] : modifiers) {
        if (hotkey.modifiersRaw & mask) {
            chord.modifiers |= modifier;
        }
    }
    return chord;
}

void PushToTalkRoad::rebindCustomHotkey(std::optional<platform::KeyChord> chord)
{
    if (const auto previous = std::exchange(m_custom, std::nullopt)) {
        m_links.hotkeys.ungrab(*previous);
    }
    if (!chord) {
        return;
    }
    const platform::HotkeyGrab grab = m_links.hotkeys.grab(*chord);
    if (grab.id) {
        m_custom = grab.id;
        onLog(QStringLiteral("PTT: custom hotkey ") + platform::describeKeyChord(*chord), LogColor::Grey);
    } else {
        onLog(QStringLiteral("PTT: custom hotkey ") + platform::describeKeyChord(*chord)
                + QStringLiteral(" cannot be used: ") + grab.error,
            LogColor::Orange);
    }
}

bool PushToTalkRoad::handleHotkey(platform::HotkeyId id, bool pressed)
{
    if (pressed && m_hotkeyRecording && (id == m_f13 || id == m_custom)) {
        onLog(QStringLiteral("PTT: ") + toString(id == m_f13 ? Trigger::F13 : Trigger::CustomHotkey)
                + QStringLiteral(" ignored while the hotkey recorder waits for a key"),
            LogColor::Grey);
        return true;
    }
    if (id == m_f13) {
        if (pressed) {
            begin(Trigger::F13);
        } else {
            end();
        }
        return true;
    }
    if (id == m_custom) {
        // The custom hotkey toggles on its press; its release means nothing.
        if (pressed) {
            toggle(Trigger::CustomHotkey);
        }
        return true;
    }
    if (id == m_esc) {
        if (pressed) {
            cancelFromEsc();
        }
        return true;
    }
    return false;
}

void PushToTalkRoad::toggle(Trigger trigger)
{
    if (m_recording) {
        end();
    } else {
        begin(trigger);
    }
}

void PushToTalkRoad::cancelFromEsc()
{
    const QString reason = QString::fromLatin1(escCancelReason);
    if (m_flow.currentState().is<VoiceFlowState::Injecting>()) {
        // The flow lets its paste run to the end; the injector still drops it while the key has not gone out.
        m_links.injector.abandonPaste();
        return;
    }
    m_flow.cancel(reason);
    if (m_take && !m_recording) {
        // The key is up and the text not back yet: the take ends here, and its text is dropped when it comes.
        finish(QString(), false, reason);
    }
}

bool PushToTalkRoad::escCancels() const
{
    const VoiceFlowState& state = m_flow.currentState();
    return (m_take && !m_recording) || state.is<VoiceFlowState::Polishing>()
        || state.is<VoiceFlowState::AwaitingCommit>() || state.is<VoiceFlowState::Injecting>();
}

void PushToTalkRoad::begin(Trigger trigger)
{
    if (m_recording) {
        return;
    }
    // The last take is still on its way (its text, polish or paste): a new one now would be recorded for nothing,
    // since the flow takes no second take, or would be given the last one's text.
    if (m_take || m_flow.isStarting() || !m_flow.currentState().is<VoiceFlowState::Idle>()) {
        onLog(QStringLiteral("PTT: the last take is still finishing (") + m_flow.currentState().name()
                + QStringLiteral("), ") + toString(trigger) + QStringLiteral(" ignored"),
            LogColor::Orange);
        return;
    }
    voice::SpeechEngine& speech = m_links.speech;
    // The device's microphone only while it is connected, and never for the triggers that belong to this computer.
    QString mic = speech.activeMicSource();
    const bool localTrigger = trigger == Trigger::FnDoubleTap || trigger == Trigger::CustomHotkey;
    const DeviceMicrophone& device = m_links.device;
    if (mic != QLatin1String(voice::SpeechBackends::localMicSource)
        && (localTrigger || !device.connected || !device.connected() || !device.startCapture || !device.stopCapture)) {
        mic = QString::fromLatin1(voice::SpeechBackends::localMicSource);
    }
    Take take;
    take.context = m_links.nextContext ? m_links.nextContext() : voice::STTContext {};
    take.record.start = m_links.clock.now();
    take.record.trigger = toString(trigger);
    take.record.micSource = mic;
    take.record.backend = speech.effectiveBackendId();
    speech.setPendingContext(take.context);

    m_recording = true;
    m_links.vm.setPttActive(true);
    startFlow(QStringLiteral("trigger=") + take.record.trigger + QStringLiteral(", mic=") + mic);
    m_take = std::move(take);

    // An engine that cannot start reports why through its error callback, which ends the take right here.
    const voice::TakeControl::Start start = m_takes.start(mic);
    if (!m_take) {
        return;
    }
    m_take->record.streaming = start.streaming;
    if (!start.started) {
        finish(QString(), false, QStringLiteral("recording could not start"));
        return;
    }
    // The link turns the device's notifications into audio only once the engine takes it, so none is lost as text.
    if (mic != QLatin1String(voice::SpeechBackends::localMicSource)) {
        m_take->deviceCapture = true;
        device.startCapture();
    }
}

QByteArray PushToTalkRoad::stopDeviceCapture()
{
    if (!m_take || !std::exchange(m_take->deviceCapture, false)) {
        return {};
    }
    return m_links.device.stopCapture();
}

QCoro::Task<> PushToTalkRoad::startFlow(QString what)
{
    // The target is found while the engine already records, so the first words are not lost to the search.
    const std::weak_ptr<bool> alive = m_alive;
    const voice::VoiceMode mode = co_await m_flow.start();
    if (!alive.expired()) {
        onLog(QStringLiteral("PTT: start (") + what + QStringLiteral(", ") + voice::VoiceFlowCoordinator::describe(mode)
                + u')',
            LogColor::Grey);
    }
}

void PushToTalkRoad::end()
{
    if (!m_recording) {
        return;
    }
    m_recording = false;
    m_links.vm.setPttActive(false);
    if (!m_take) {
        return;
    }
    m_take->record.end = m_links.clock.now();
    // The outcome of the stop comes later, through the engine's callbacks; Esc cancels the take until it is pasted.
    m_takes.stop(stopDeviceCapture());
    holdEsc(escCancels());
    if (m_take && !m_outcomeTimer) {
        m_outcomeTimer = m_links.clock.schedule(outcomeLimitMs, [this] {
            m_outcomeTimer.reset();
            giveUpOnOutcome();
        });
    }
}

void PushToTalkRoad::giveUpOnOutcome()
{
    if (m_take) {
        onLog(QStringLiteral("PTT: no text came back within %1 s, take given up").arg(outcomeLimitMs / 1000),
            LogColor::Orange);
        // Whatever of it is still under way is stopped, so nothing of it lands in a later take.
        m_takes.cancel();
        finish(QString(), false, QStringLiteral("no outcome"));
    }
}

void PushToTalkRoad::finish(const QString& text, bool success, const std::optional<QString>& error)
{
    if (m_outcomeTimer) {
        m_links.clock.cancel(*std::exchange(m_outcomeTimer, std::nullopt));
    }
    // A take that ends while the key is still down leaves the device talking in text lines again.
    stopDeviceCapture();
    Take take = std::move(*m_take);
    m_take.reset();
    // An outcome while the key is still down (the start failed, the engine gave up) ends the recording as well.
    if (m_recording) {
        m_recording = false;
        m_links.vm.setPttActive(false);
    }
    if (!take.record.end.isValid()) {
        take.record.end = m_links.clock.now();
    }
    // The backend that recognised the take, which a fallback may have changed from the one it started on.
    if (!m_links.speech.takeBackend().isEmpty()) {
        take.record.backend = m_links.speech.takeBackend();
    }
    take.record.success = success;
    take.record.error = error;
    take.record.finalTextLength = static_cast<int>(text.toUcs4().size());
    // A recognised take has ended only once its text is pasted, left on the clipboard or cancelled.
    if (success && !text.isEmpty()) {
        m_unlogged = take.record;
    } else {
        m_pttLog.append(take.record);
    }

    m_flow.stop(text, success, take.context.locale(), m_takes.polishGate(take.context));
    // A flow that took no text (its take was cancelled already) has nothing more to say about it.
    if (!m_flow.isStarting()) {
        logEndedTake();
    }
    holdEsc(escCancels());
}

void PushToTalkRoad::logEndedTake()
{
    if (m_unlogged && m_flow.currentState().is<VoiceFlowState::Idle>()) {
        m_pttLog.append(*std::exchange(m_unlogged, std::nullopt));
    }
}

void PushToTalkRoad::wireEngine()
{
    voice::SpeechEngine& speech = m_links.speech;
    speech.onPartialText = [this](const QString& text) {
        if (!m_take) {
            return;
        }
        m_links.vm.setAsrPartialText(text);
        m_flow.recordPartialText(text);
    };
    speech.onResult = [this](const QString& text) {
        if (!m_take) {
            onLog(QStringLiteral("PTT: text of no running take dropped"), LogColor::Orange);
            return;
        }
        finish(text, true, std::nullopt);
    };
    speech.onError = [this](const QString& message) {
        onLog(QStringLiteral("Speech: ") + message, LogColor::Orange);
        if (m_take && !voice::TakeControl::isNotice(message)) {
            // The log is not where a person holding the key looks: a microphone that never opened (a hung or gone
            // sound server) is said under the strip, or the take would just seem to stop.
            if (voice::TakeControl::isMicrophoneFailure(message)) {
                m_links.vm.setModeBHintText(QString::fromUtf8(microphoneFailedNotice), true);
            }
            finish(QString(), false, message);
        }
    };
}

void PushToTalkRoad::wireFlow()
{
    notch::PanelViewModel& vm = m_links.vm;
    m_flow.onRecordingStateChange = [this](bool recording, const QString&) {
        if (!recording) {
            m_links.vm.setPttActive(m_recording);
        }
    };
    m_flow.onPolishingChange = [&vm](bool polishing) { vm.setAsrEnhancing(polishing); };
    m_flow.onAwaitingCommit = [&vm](const QString& text, bool isRaw) { vm.enterCommitWindow(text, isRaw); };
    m_flow.onInjected = [this](const std::optional<QString>& notPasted) {
        if (m_unlogged && notPasted) {
            m_unlogged->success = false;
            m_unlogged->error = QStringLiteral("not pasted: ") + *notPasted;
        }
    };
    m_flow.onCancelled = [this, &vm](const QString& reason) {
        if (m_unlogged) {
            m_unlogged->success = false;
            m_unlogged->error = reason;
        }
        onLog(QStringLiteral("VoiceFlow: cancelled by ") + reason, LogColor::Orange);
        vm.cancelVoiceTake();
    };
    m_flow.onFinalCommit = [this, &vm](const QString& text, bool didEnhance) {
        onLog(QStringLiteral("Voice commit: ") + common::text::prefixCharacters(text, 40) + QStringLiteral(" [enhanced=")
                + (didEnhance ? QStringLiteral("true") : QStringLiteral("false")) + u']',
            LogColor::Purple);
        vm.setAwaitingCommitText(QString());
        vm.setAsrEnhancedText(QString());
        vm.setAsrPartialText(QString());
        vm.setAsrEnhancing(false);
    };
    m_flow.onMaxDurationTimeout = [this] {
        onLog(QStringLiteral("VoiceFlow: 60s 上限触发,自动停录音"), LogColor::Orange);
        end();
    };
    // Esc belongs to the other programs except from the key's release until the text is pasted or dropped.
    m_flow.onStateChanged = [this](const VoiceFlowState&) {
        logEndedTake();
        holdEsc(escCancels());
    };
}

void PushToTalkRoad::holdEsc(bool hold)
{
    if (!hold) {
        if (const auto id = std::exchange(m_esc, std::nullopt)) {
            m_links.hotkeys.ungrab(*id);
        }
        return;
    }
    if (m_esc) {
        return;
    }
    const platform::HotkeyGrab grab
        = m_links.hotkeys.grab({ platform::keysym::Escape, std::nullopt, {}, std::nullopt });
    if (grab.id) {
        m_esc = grab.id;
    } else if (!std::exchange(m_escRefusedLogged, true)) {
        // Said once: the panel's Esc still cancels.
        onLog(QStringLiteral("PTT: Esc cannot be taken to cancel a dictation: ") + grab.error, LogColor::Orange);
    }
}

} // namespace murmeli::app
