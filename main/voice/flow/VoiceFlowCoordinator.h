#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include <QCoroTask>

#include "main/common/Log.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "main/voice/flow/PolishGateContext.h"
#include "main/voice/flow/VoiceFlowClock.h"
#include "main/voice/flow/VoiceFlowState.h"
#include "main/voice/flow/VoicePolisher.h"
#include "main/voice/focus/VoiceMode.h"

namespace murmeli::voice {

class VoiceTextInjector;

/// The life of one push-to-talk take after the recogniser: where its text goes (decided at the start), the 60 s cap,
/// whether the transcript is polished, the short window in which Esc can still cancel it, and the hand-over to the
/// injector. The controller feeds it and listens to its callbacks; it knows nothing of audio or the panel.
///
/// Every take moves idle → recording → (polishing) → awaitingCommit → injecting → idle and ends in one paste or
/// clipboard copy, a cancel, or silently when its transcript is empty or failed. Each take has a generation: a polish
/// reply or a window timer of an abandoned take finds its generation gone and can never act on a later take.
///
/// Finding the target takes a moment (the agent under a terminal is looked up off the main thread), and the owner
/// records meanwhile: a stop or cancel that arrives before the take is recording is held and applied once it is.
/// Main thread only; callbacks run synchronously inside the operation that causes them.
class VoiceFlowCoordinator final {
public:
    static constexpr int maxRecordingDurationMs = 60000;
    static constexpr int polishDurationGateMs = SpeechEnhancerConfig::durationGateMs;
    static constexpr int escCancelWindowMsRaw = 500;
    static constexpr int escCancelWindowMsEnhanced = 950;
    static constexpr int escCancelWindowMs(bool isRaw)
    {
        return isRaw ? escCancelWindowMsRaw : escCancelWindowMsEnhanced;
    }
    /// The target name of a take whose text goes to the clipboard.
    static constexpr auto clipboardTargetName = "📋 剪贴板模式";
    static constexpr auto defaultCancelReason = "user_cancel";

    /// Decides where the text of the take that starts now goes.
    using Detector = std::function<QCoro::Task<VoiceMode>()>;

    /// injector must outlive the coordinator; polisher may be null (no polish).
    VoiceFlowCoordinator(Detector detector, VoiceTextInjector& injector, std::unique_ptr<VoicePolisher> polisher,
        VoiceFlowClock clock, std::function<void(const QString&)> onLog = {});
    ~VoiceFlowCoordinator();
    VoiceFlowCoordinator(const VoiceFlowCoordinator&) = delete;
    VoiceFlowCoordinator& operator=(const VoiceFlowCoordinator&) = delete;

    /// Begins a take; the only way out of idle. The take counts from this call; it is recording once its target is
    /// known, when the task finishes. While another take runs (or starts) it changes nothing and answers that take's
    /// mode (Mode B "detectionFailed" when it has none).
    QCoro::Task<VoiceMode> start();
    /// Ends the recording with the final transcript: cleanup for a failed or empty one, else polish or the commit
    /// window. Ignored unless recording.
    void stop(const QString& rawText, bool success, const QString& locale, const PolishGateContext& gateContext);
    /// Abandons the take, unless it is idle or already injecting.
    void cancel(const QString& reason = QString::fromLatin1(defaultCancelReason));
    /// A partial transcript; kept and passed on while recording, dropped otherwise.
    void recordPartialText(const QString& text);

    const VoiceFlowState& currentState() const { return m_state; }
    /// A take has begun and its target is still being found; the state is still idle.
    bool isStarting() const { return m_starting.has_value(); }
    const std::optional<VoiceMode>& currentMode() const { return m_currentMode; }
    const QString& lastPartialText() const { return m_lastPartialText; }
    /// Counts takes; the running take's number.
    quint64 generation() const { return m_generation; }

    void setPolisher(std::unique_ptr<VoicePolisher> polisher) { m_polisher = std::move(polisher); }
    void setLogger(std::function<void(const QString&)> onLog) { m_onLog = std::move(onLog); }

    std::function<void(const QString& text)> onPartialText;
    std::function<void(bool recording, const QString& targetName)> onRecordingStateChange;
    std::function<void(bool polishing)> onPolishingChange;
    /// The text has left the injector: nothing when it went where the take's mode sends it, else why it was not
    /// pasted. Just before onFinalCommit.
    std::function<void(const std::optional<QString>& notPasted)> onInjected;
    std::function<void(const QString& text, bool didEnhance)> onFinalCommit;
    std::function<void(const QString& text, bool isRaw)> onAwaitingCommit;
    std::function<void(const QString& reason)> onCancelled;
    /// The 60 s cap fired; the take stays recording until the owner stops it.
    std::function<void()> onMaxDurationTimeout;
    /// After every change of state, once the new state is in place.
    std::function<void(const VoiceFlowState& state)> onStateChanged;

    /// The name shown while recording: the clipboard name for Mode B, the application's last dotted name part, or
    /// the focused role when there is no application.
    static QString targetNameOf(const VoiceMode& mode);
    /// "Mode A · role · application" or "Mode B · reason".
    static QString describe(const VoiceMode& mode);

private:
    // What arrived for a take whose target was still being found.
    struct Starting final {
        std::optional<QString> cancelReason;
        std::function<void()> stop;
    };

    void enterRecording(const VoiceMode& mode);
    void transition(VoiceFlowState to);
    void handleMaxDurationTimeout(quint64 generation);
    void handlePolishResult(quint64 generation, const QString& rawText, const std::optional<QString>& enhanced);
    void enterAwaitingCommit(const QString& text, bool isRaw, bool didEnhance);
    void commitAfterEscWindow(quint64 generation, const QString& expectedText, bool didEnhance);
    QCoro::Task<> commit(QString finalText, bool didEnhance);
    void cleanupToIdle();
    /// Runs action after ms unless the coordinator is gone by then.
    VoiceFlowClock::Cancel schedule(qint64 ms, std::function<void()> action);

    Detector m_detector;
    VoiceTextInjector& m_injector;
    std::unique_ptr<VoicePolisher> m_polisher;
    VoiceFlowClock m_clock;
    common::LineSink m_onLog;

    VoiceFlowState m_state;
    VoiceFlowClock::Cancel m_maxDurationCancel;
    std::optional<qint64> m_startTimeMs;
    std::optional<VoiceMode> m_currentMode;
    QString m_lastPartialText;
    bool m_cancelled = false;
    quint64 m_generation = 0;
    std::optional<Starting> m_starting;
    // Late timers and polish replies reach the coordinator only through it; they are dropped once it is gone.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

} // namespace murmeli::voice
