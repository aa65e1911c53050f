#include "main/voice/flow/VoiceFlowCoordinator.h"

#include <algorithm>
#include <utility>

#include <QMetaObject>
#include <QPointer>

#include "main/voice/injection/VoiceTextInjector.h"

namespace murmeli::voice {

namespace {

template <typename... Params, typename... Args>
void call(const std::function<void(Params...)>& callback, Args&&... args)
{
    if (callback) {
        callback(std::forward<Args>(args)...);
    }
}

} // namespace

VoiceFlowCoordinator::VoiceFlowCoordinator(Detector detector, VoiceTextInjector& injector,
    std::unique_ptr<VoicePolisher> polisher, VoiceFlowClock clock, std::function<void(const QString&)> onLog)
    : m_detector(std::move(detector)), m_injector(injector), m_polisher(std::move(polisher)), m_clock(std::move(clock)),
      m_onLog(std::move(onLog))
{
}

VoiceFlowCoordinator::~VoiceFlowCoordinator()
{
    if (m_maxDurationCancel) {
        m_maxDurationCancel();
    }
}

QString VoiceFlowCoordinator::targetNameOf(const VoiceMode& mode)
{
    const auto* modeA = std::get_if<ModeA>(&mode);
    if (!modeA) {
        return QString::fromUtf8(clipboardTargetName);
    }
    const std::optional<QString>& app = modeA->target.appId;
    if (!app) {
        return modeA->target.role;
    }
    const QStringList parts = app->split(u'.', Qt::SkipEmptyParts);
    return parts.isEmpty() ? *app : parts.last();
}

QString VoiceFlowCoordinator::describe(const VoiceMode& mode)
{
    if (const auto* modeA = std::get_if<ModeA>(&mode)) {
        return QStringLiteral("Mode A · ") + modeA->target.role + QStringLiteral(" · ")
            + modeA->target.appId.value_or(QStringLiteral("—"));
    }
    return QStringLiteral("Mode B · ") + toString(std::get<ModeB>(mode).reason);
}

QCoro::Task<VoiceMode> VoiceFlowCoordinator::start()
{
    if (!m_state.is<VoiceFlowState::Idle>() || m_starting) {
        m_onLog(QStringLiteral("VoiceFlow: start() ignored, current state=")
            + (m_starting ? QStringLiteral("starting") : m_state.name()));
        co_return m_currentMode.value_or(ModeB { ModeBReason::DetectionFailed });
    }
    m_startTimeMs = m_clock.nowMs();
    m_lastPartialText.clear();
    m_cancelled = false;
    ++m_generation;
    m_starting = Starting {};
    QPointer<QObject> context = m_context.get();
    // No co_await inside a conditional expression: g++ 12 frees its temporaries too early there.
    VoiceMode mode = ModeB { ModeBReason::DetectionFailed };
    if (m_detector) {
        QCoro::Task<VoiceMode> detection = m_detector();
        mode = co_await detection;
    }
    if (!context) {
        co_return mode;
    }
    const Starting held = std::exchange(m_starting, std::nullopt).value_or(Starting {});
    if (held.cancelReason) {
        // The take ended before it was recording: nothing of it reaches the panel but the cancel.
        m_onLog(QStringLiteral("VoiceFlow: cancel(") + *held.cancelReason + QStringLiteral(") while starting"));
        call(onCancelled, *held.cancelReason);
        m_startTimeMs.reset();
        co_return mode;
    }
    enterRecording(mode);
    if (held.stop) {
        held.stop();
    }
    co_return mode;
}

void VoiceFlowCoordinator::enterRecording(const VoiceMode& mode)
{
    m_currentMode = mode;
    const QString targetName = targetNameOf(mode);
    const quint64 generation = m_generation;
    transition({ VoiceFlowState::Recording { targetName, *m_startTimeMs } });
    const qint64 elapsed = m_clock.nowMs() - *m_startTimeMs;
    m_maxDurationCancel = schedule(std::max<qint64>(0, maxRecordingDurationMs - elapsed),
        [this, generation] { handleMaxDurationTimeout(generation); });
    call(onRecordingStateChange, true, targetName);
    call(onPartialText, QString());
    m_onLog(QStringLiteral("VoiceFlow: start(mode=") + describe(mode) + u')');
}

void VoiceFlowCoordinator::transition(VoiceFlowState to)
{
    const QString from = m_state.name();
    m_state = std::move(to);
    m_onLog(QStringLiteral("VoiceFlow: ") + from + QStringLiteral(" → ") + m_state.name());
    call(onStateChanged, m_state);
}

void VoiceFlowCoordinator::handleMaxDurationTimeout(quint64 generation)
{
    if (generation != m_generation || !m_state.is<VoiceFlowState::Recording>()) {
        return;
    }
    m_onLog(QStringLiteral("VoiceFlow: 60s max-duration hit → auto stop"));
    call(onMaxDurationTimeout);
}

void VoiceFlowCoordinator::stop(
    const QString& rawText, bool success, const QString& locale, const PolishGateContext& gateContext)
{
    if (m_starting && !m_starting->cancelReason) {
        m_starting->stop
            = [this, rawText, success, locale, gateContext] { stop(rawText, success, locale, gateContext); };
        return;
    }
    if (!m_state.is<VoiceFlowState::Recording>()) {
        m_onLog(QStringLiteral("VoiceFlow: stop() ignored, state=") + m_state.name());
        return;
    }
    if (auto cancelCap = std::exchange(m_maxDurationCancel, {})) {
        cancelCap();
    }
    if (!m_startTimeMs) {
        cleanupToIdle();
        return;
    }
    const int durationMs = static_cast<int>(m_clock.nowMs() - *m_startTimeMs);
    if (!success || rawText.isEmpty()) {
        m_onLog(QStringLiteral("VoiceFlow: stop(empty/failed) → cleanup to idle"));
        cleanupToIdle();
        return;
    }
    if (durationMs < polishDurationGateMs) {
        m_onLog(QStringLiteral("VoiceFlow: < %1ms → skip polish, raw").arg(polishDurationGateMs));
        enterAwaitingCommit(rawText, true, false);
        return;
    }
    if (!m_polisher || !gateContext.cloudLoggedIn) {
        enterAwaitingCommit(rawText, true, false);
        return;
    }
    transition({ VoiceFlowState::Polishing { rawText, durationMs } });
    call(onPolishingChange, true);

    EnhanceGateInputs gateInputs { durationMs, true, gateContext.effectiveBackendId, gateContext.aiOptimizationOn,
        locale };
    EnhanceRequestInput request { rawText, durationMs, gateContext.hotwords, locale, gateContext.cloudWorkerURL,
        gateContext.cloudToken };
    const quint64 generation = m_generation;
    QPointer<QObject> context = m_context.get();
    // The reply comes back through the event loop, never inside this call, and only while the flow is alive.
    m_polisher->polish(rawText, durationMs, gateContext.hotwords, std::move(gateInputs), std::move(request),
        [this, context, generation, rawText](std::optional<QString> polished) {
            if (!context) {
                return;
            }
            QMetaObject::invokeMethod(
                context.data(),
                [this, generation, rawText, polished = std::move(polished)] {
                    handlePolishResult(generation, rawText, polished);
                },
                Qt::QueuedConnection);
        });
}

void VoiceFlowCoordinator::handlePolishResult(
    quint64 generation, const QString& rawText, const std::optional<QString>& enhanced)
{
    if (!m_state.is<VoiceFlowState::Polishing>()) {
        m_onLog(
            QStringLiteral("VoiceFlow: polish reply arrived in state=") + m_state.name() + QStringLiteral(", drop"));
        return;
    }
    if (m_cancelled) {
        m_onLog(QStringLiteral("VoiceFlow: polish reply arrived but cancelled=true, drop (D4 第 4 重保险)"));
        return;
    }
    if (generation != m_generation) {
        m_onLog(QStringLiteral("VoiceFlow: polish reply of take %1 arrived during take %2, drop")
                    .arg(generation)
                    .arg(m_generation));
        return;
    }
    // A reply with nothing in it would paste nothing: the raw text is better than that.
    if (enhanced && !enhanced->trimmed().isEmpty()) {
        enterAwaitingCommit(*enhanced, false, true);
    } else {
        enterAwaitingCommit(rawText, true, false);
    }
}

void VoiceFlowCoordinator::enterAwaitingCommit(const QString& text, bool isRaw, bool didEnhance)
{
    call(onPolishingChange, false);
    const int window = escCancelWindowMs(isRaw);
    transition({ VoiceFlowState::AwaitingCommit { text, isRaw, m_clock.nowMs() + window } });
    call(onAwaitingCommit, text, isRaw);
    // Never cancelled: a firing that no longer fits is caught by the checks of commitAfterEscWindow.
    const quint64 generation = m_generation;
    schedule(window, [this, generation, text, didEnhance] { commitAfterEscWindow(generation, text, didEnhance); });
}

void VoiceFlowCoordinator::commitAfterEscWindow(quint64 generation, const QString& expectedText, bool didEnhance)
{
    const auto* waiting = m_state.as<VoiceFlowState::AwaitingCommit>();
    if (!waiting) {
        m_onLog(QStringLiteral("VoiceFlow: awaitingCommit window expired but state=") + m_state.name()
            + QStringLiteral(", skip commit"));
        return;
    }
    if (waiting->text != expectedText) {
        m_onLog(QStringLiteral("VoiceFlow: awaitingCommit text mismatch, skip commit"));
        return;
    }
    if (m_cancelled) {
        m_onLog(QStringLiteral("VoiceFlow: awaitingCommit window expired but cancelled=true, skip commit"));
        return;
    }
    if (generation != m_generation) {
        m_onLog(QStringLiteral("VoiceFlow: awaitingCommit window of take %1 expired during take %2, skip commit")
                    .arg(generation)
                    .arg(m_generation));
        return;
    }
    commit(waiting->text, didEnhance);
}

QCoro::Task<> VoiceFlowCoordinator::commit(QString finalText, bool didEnhance)
{
    call(onPolishingChange, false);
    const VoiceMode mode = m_currentMode.value_or(ModeB { ModeBReason::DetectionFailed });
    transition({ VoiceFlowState::Injecting { finalText, mode } });
    QPointer<QObject> context = m_context.get();
    // Esc, a new start and a stop arrive meanwhile and find the flow injecting: the paste goes on regardless.
    std::optional<QString> notPasted;
    if (const auto* modeA = std::get_if<ModeA>(&mode)) {
        notPasted = co_await m_injector.injectModeA(finalText, modeA->target);
    } else {
        m_injector.injectModeB(finalText, std::get<ModeB>(mode).reason);
    }
    if (!context) {
        co_return;
    }
    call(onInjected, notPasted);
    call(onFinalCommit, finalText, didEnhance);
    cleanupToIdle();
}

void VoiceFlowCoordinator::cancel(const QString& reason)
{
    if (m_starting) {
        m_starting->cancelReason = reason;
        m_starting->stop = nullptr;
        return;
    }
    if (m_state.is<VoiceFlowState::Idle>() || m_state.is<VoiceFlowState::Injecting>()) {
        m_onLog(QStringLiteral("VoiceFlow: cancel(") + reason + QStringLiteral(") ignored, state=") + m_state.name());
        return;
    }
    m_cancelled = true;
    m_onLog(QStringLiteral("VoiceFlow: cancel(") + reason + QStringLiteral(") from ") + m_state.name());
    call(onCancelled, reason);
    cleanupToIdle();
}

void VoiceFlowCoordinator::recordPartialText(const QString& text)
{
    if (!m_state.is<VoiceFlowState::Recording>()) {
        return;
    }
    m_lastPartialText = text;
    call(onPartialText, text);
}

void VoiceFlowCoordinator::cleanupToIdle()
{
    if (auto cancelCap = std::exchange(m_maxDurationCancel, {})) {
        cancelCap();
    }
    m_startTimeMs.reset();
    m_currentMode.reset();
    m_lastPartialText.clear();
    if (m_state.is<VoiceFlowState::Recording>()) {
        call(onRecordingStateChange, false, QString());
    }
    call(onPolishingChange, false);
    transition({ VoiceFlowState::Idle {} });
    m_cancelled = false;
}

VoiceFlowClock::Cancel VoiceFlowCoordinator::schedule(qint64 ms, std::function<void()> action)
{
    QPointer<QObject> context = m_context.get();
    return m_clock.schedule(ms, [context, action = std::move(action)] {
        if (context) {
            action();
        }
    });
}

} // namespace murmeli::voice
