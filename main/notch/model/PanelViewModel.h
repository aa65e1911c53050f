#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include "main/common/Clock.h"
#include "main/notch/model/IslandSurface.h"
#include "main/notch/model/NotchApprovalAction.h"
#include "main/notch/model/SessionRow.h"
#include "main/notch/model/SessionState.h"
#include "main/usage/CodexBarProviderUsage.h"
#include "main/usage/CodexBarUsageSnapshot.h"

namespace murmeli::notch {

/// Everything the panel shows, and the actions it may take. Owned by the controller, which writes almost all of
/// it; the panel writes only summaryActive, expandedRowIDs and measuredOpenedContentHeight. Main thread only.
///
/// Each field has its own change signal, plus changed() for any field. Both fire only on a real change: writing a
/// value equal to the current one emits nothing, so the 2 s sync may write everything every time.
class PanelViewModel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelViewModel)

public:
    /// The cancelled banner shows this long.
    static constexpr qint64 voiceCancelledFeedbackMs = 400;
    /// The clipboard hint goes away this long after it was set.
    static constexpr qint64 modeBHintMs = 2500;
    // A notice asks the person to do something, in a sentence or two: it stays long enough to be read.
    static constexpr qint64 noticeMs = 8000;

    explicit PanelViewModel(common::Clock& clock, QObject* parent = nullptr);
    ~PanelViewModel() override;

    // Sessions

    /// The state of the active session.
    const SessionState& sessionState() const { return m_sessionState; }
    bool setSessionState(SessionState value);
    /// In the controller's order; the panel never re-sorts them.
    const QList<SessionRow>& sessions() const { return m_sessions; }
    bool setSessions(QList<SessionRow> value);
    int sessionTotal() const { return m_sessionTotal; }
    bool setSessionTotal(int value);
    /// Position of the selected session in the registry's list.
    int sessionIndex() const { return m_sessionIndex; }
    bool setSessionIndex(int value);
    /// Sessions busy now, and sessions waiting for the user.
    int runningAgents() const { return m_runningAgents; }
    bool setRunningAgents(int value);
    int waitingAgents() const { return m_waitingAgents; }
    bool setWaitingAgents(int value);
    /// The active session's activity text; may be empty.
    const QString& currentActivity() const { return m_currentActivity; }
    bool setCurrentActivity(QString value);
    /// The active session's context use in per cent as last read; may lie outside 0...100.
    int contextPercent() const { return m_contextPercent; }
    bool setContextPercent(int value);
    const QString& modelName() const { return m_modelName; }
    bool setModelName(QString value);
    /// The permission request on show; empty when there is none.
    const QString& pendingApprovalMessage() const { return m_pendingApprovalMessage; }
    bool setPendingApprovalMessage(QString value);

    /// The usage reader's last per-provider rows, in its order; may be empty.
    const std::vector<usage::CodexBarProviderUsage>& usageSnapshots() const { return m_usageSnapshots; }
    bool setUsageSnapshots(std::vector<usage::CodexBarProviderUsage> value);
    /// The single usage snapshot of earlier versions; none until a poll gave data.
    const std::optional<usage::CodexBarUsageSnapshot>& usageSnapshot() const { return m_usageSnapshot; }
    bool setUsageSnapshot(std::optional<usage::CodexBarUsageSnapshot> value);

    // Push-to-talk

    bool pttActive() const { return m_pttActive; }
    bool setPttActive(bool value);
    const QString& asrPartialText() const { return m_asrPartialText; }
    bool setAsrPartialText(QString value);
    bool asrEnhancing() const { return m_asrEnhancing; }
    bool setAsrEnhancing(bool value);
    const QString& asrEnhancedText() const { return m_asrEnhancedText; }
    bool setAsrEnhancedText(QString value);
    /// Dictated text waiting out the commit window; empty when none.
    const QString& awaitingCommitText() const { return m_awaitingCommitText; }
    bool setAwaitingCommitText(QString value);
    bool awaitingCommitIsRaw() const { return m_awaitingCommitIsRaw; }
    bool setAwaitingCommitIsRaw(bool value);
    bool voiceCancelledFeedback() const { return m_voiceCancelledFeedback; }
    bool setVoiceCancelledFeedback(bool value);
    /// The clipboard hint; a non-empty one clears itself modeBHintMs after it was last set. A notice is a word from
    /// murmeli in the hint's place (a microphone that did not answer, a taken port), shown without the clipboard's
    /// heading, for noticeMs.
    const QString& modeBHintText() const { return m_modeBHintText; }
    bool modeBHintIsNotice() const { return m_modeBHintIsNotice; }
    bool setModeBHintText(QString value, bool notice = false);

    // Panel state

    bool accessibilityNeedGrant() const { return m_accessibilityNeedGrant; }
    bool setAccessibilityNeedGrant(bool value);
    /// The rows the user expanded by hand, by sid.
    const QSet<QString>& expandedRowIDs() const { return m_expandedRowIDs; }
    bool setExpandedRowIDs(QSet<QString> value);
    bool summaryActive() const { return m_summaryActive; }
    bool setSummaryActive(bool value);
    const QString& summaryText() const { return m_summaryText; }
    bool setSummaryText(QString value);
    /// Points.
    double measuredOpenedContentHeight() const { return m_measuredOpenedContentHeight; }
    bool setMeasuredOpenedContentHeight(double value);
    const IslandSurface& currentSurface() const { return m_currentSurface; }
    bool setCurrentSurface(IslandSurface value);
    /// When the panel state last changed.
    const QDateTime& updatedAt() const { return m_updatedAt; }
    bool setUpdatedAt(QDateTime value);

    // The cloud account as the controller mirrors it; -1 means unknown or signed out, reset times are Unix seconds.

    const QString& cloudEmail() const { return m_cloudEmail; }
    bool setCloudEmail(QString value);
    const QString& cloudTier() const { return m_cloudTier; }
    bool setCloudTier(QString value);
    qint64 cloudMinutesLeft() const { return m_cloudMinutesLeft; }
    bool setCloudMinutesLeft(qint64 value);
    qint64 cloudQuotaMinutes() const { return m_cloudQuotaMinutes; }
    bool setCloudQuotaMinutes(qint64 value);
    qint64 cloudMinutesUsed() const { return m_cloudMinutesUsed; }
    bool setCloudMinutesUsed(qint64 value);
    qint64 cloudMinutesUsedWeek() const { return m_cloudMinutesUsedWeek; }
    bool setCloudMinutesUsedWeek(qint64 value);
    qint64 cloudMonthResetAt() const { return m_cloudMonthResetAt; }
    bool setCloudMonthResetAt(qint64 value);
    qint64 cloudWeekResetAt() const { return m_cloudWeekResetAt; }
    bool setCloudWeekResetAt(qint64 value);

    // Computed

    bool hasCurrentActivity() const { return !m_currentActivity.isEmpty(); }
    /// The first row whose isActive is set.
    std::optional<SessionRow> activeSession() const;
    /// The row waiting for approval the longest; else the row in error the longest; else none.
    std::optional<QString> mostUrgentSessionSid() const;
    /// The project of the most urgent session, when that is not the active one; else empty.
    QString attentionSessionProjectName() const;

    // Behaviours

    /// Back to the session list, now.
    void dismissNotification();
    /// The voice flow holds text in its commit window; polished text is also the take's enhanced text.
    void enterCommitWindow(const QString& text, bool isRaw);
    /// A take was cancelled: its texts go and the cancelled banner shows for voiceCancelledFeedbackMs.
    void cancelVoiceTake();

    // Actions the panel calls; set by the controller, unset ones do nothing when performed.

    std::function<void()> onPTT;
    std::function<void()> onReject;
    std::function<void()> onInstallHooks;
    std::function<void()> onGrantAccessibility;
    std::function<void()> onSessionPrev;
    std::function<void()> onSessionNext;
    std::function<void(const QString& sid)> onSessionSelect;
    /// The row's session and the request its card showed; the controller answers that request, and only while it
    /// is still held for that session.
    std::function<void(const QString& sid, const QString& toolUseId, NotchApprovalAction action)> onApprove;
    std::function<void(const QString& sid, const QString& answer)> onAnswer;
    std::function<void()> onDiagnostic;
    std::function<void()> onShowLog;
    std::function<void(const QString& backendId)> onSwitchBackend;
    /// Cancels the dictation waiting in the commit window.
    std::function<void()> onEscRequest;

    /// Calls an action when it is set.
    template <typename... Params, typename... Args>
    static void perform(const std::function<void(Params...)>& action, Args&&... args)
    {
        if (action) {
            action(std::forward<Args>(args)...);
        }
    }

Q_SIGNALS:
    /// Any field changed.
    void changed();
    void sessionStateChanged();
    void sessionsChanged();
    void sessionTotalChanged();
    void sessionIndexChanged();
    void runningAgentsChanged();
    void waitingAgentsChanged();
    void currentActivityChanged();
    void contextPercentChanged();
    void modelNameChanged();
    void pendingApprovalMessageChanged();
    void usageSnapshotsChanged();
    void usageSnapshotChanged();
    void pttActiveChanged();
    void asrPartialTextChanged();
    void asrEnhancingChanged();
    void asrEnhancedTextChanged();
    void awaitingCommitTextChanged();
    void awaitingCommitIsRawChanged();
    void voiceCancelledFeedbackChanged();
    void modeBHintTextChanged();
    void accessibilityNeedGrantChanged();
    void expandedRowIDsChanged();
    void summaryActiveChanged();
    void summaryTextChanged();
    void measuredOpenedContentHeightChanged();
    void currentSurfaceChanged();
    void updatedAtChanged();
    void cloudEmailChanged();
    void cloudTierChanged();
    void cloudMinutesLeftChanged();
    void cloudQuotaMinutesChanged();
    void cloudMinutesUsedChanged();
    void cloudMinutesUsedWeekChanged();
    void cloudMonthResetAtChanged();
    void cloudWeekResetAtChanged();

private:
    /// Stores the value and emits its signal and changed(), unless it equals the stored one.
    template <typename T> bool update(T& field, T value, void (PanelViewModel::*signal)());
    /// Runs fn after ms on the clock in place of the timer in slot, which it cancels.
    void restartTimer(std::optional<common::Clock::TimerId>& slot, qint64 ms, std::function<void()> fn);
    void stopTimer(std::optional<common::Clock::TimerId>& slot);

    common::Clock& m_clock;

    SessionState m_sessionState;
    QList<SessionRow> m_sessions;
    int m_sessionTotal = 0;
    int m_sessionIndex = 0;
    int m_runningAgents = 0;
    int m_waitingAgents = 0;
    QString m_currentActivity;
    int m_contextPercent = 0;
    QString m_modelName;
    QString m_pendingApprovalMessage;
    std::vector<usage::CodexBarProviderUsage> m_usageSnapshots;
    std::optional<usage::CodexBarUsageSnapshot> m_usageSnapshot;

    bool m_pttActive = false;
    QString m_asrPartialText;
    bool m_asrEnhancing = false;
    QString m_asrEnhancedText;
    QString m_awaitingCommitText;
    bool m_awaitingCommitIsRaw = false;
    bool m_voiceCancelledFeedback = false;
    QString m_modeBHintText;
    bool m_modeBHintIsNotice = false;

    bool m_accessibilityNeedGrant = false;
    QSet<QString> m_expandedRowIDs;
    bool m_summaryActive = false;
    QString m_summaryText;
    double m_measuredOpenedContentHeight = 0;
    IslandSurface m_currentSurface;
    QDateTime m_updatedAt;

    QString m_cloudEmail;
    QString m_cloudTier;
    qint64 m_cloudMinutesLeft = -1;
    qint64 m_cloudQuotaMinutes = 0;
    qint64 m_cloudMinutesUsed = -1;
    qint64 m_cloudMinutesUsedWeek = -1;
    qint64 m_cloudMonthResetAt = 0;
    qint64 m_cloudWeekResetAt = 0;

    std::optional<common::Clock::TimerId> m_cancelFeedbackTimer;
    std::optional<common::Clock::TimerId> m_modeBHintTimer;
};

} // namespace murmeli::notch
