#include "main/notch/model/PanelViewModel.h"

#include <algorithm>

namespace murmeli::notch {

template <typename T> bool PanelViewModel::update(T& field, T value, void (PanelViewModel::*signal)())
{
    if (field == value) {
        return false;
    }
    field = std::move(value);
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
    return true;
}

PanelViewModel::PanelViewModel(common::Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_updatedAt(clock.now())
{
}

PanelViewModel::~PanelViewModel()
{
    // The clock outlives the view model; its timers must not call into a dead one.
    stopTimer(m_cancelFeedbackTimer);
    stopTimer(m_modeBHintTimer);
}

void PanelViewModel::restartTimer(std::optional<common::Clock::TimerId>& slot, qint64 ms, std::function<void()> fn)
{
    stopTimer(slot);
    slot = m_clock.schedule(ms, [this, &slot, fn = std::move(fn)] {
        slot.reset();
        fn();
    });
}

void PanelViewModel::stopTimer(std::optional<common::Clock::TimerId>& slot)
{
    if (slot) {
        m_clock.cancel(*std::exchange(slot, std::nullopt));
    }
}

bool PanelViewModel::setSessionState(SessionState value)
{
    return update(m_sessionState, std::move(value), &PanelViewModel::sessionStateChanged);
}

bool PanelViewModel::setSessionTotal(int value)
{
    return update(m_sessionTotal, value, &PanelViewModel::sessionTotalChanged);
}

bool PanelViewModel::setSessionIndex(int value)
{
    return update(m_sessionIndex, value, &PanelViewModel::sessionIndexChanged);
}

bool PanelViewModel::setRunningAgents(int value)
{
    return update(m_runningAgents, value, &PanelViewModel::runningAgentsChanged);
}

bool PanelViewModel::setWaitingAgents(int value)
{
    return update(m_waitingAgents, value, &PanelViewModel::waitingAgentsChanged);
}

bool PanelViewModel::setCurrentActivity(QString value)
{
    return update(m_currentActivity, std::move(value), &PanelViewModel::currentActivityChanged);
}

bool PanelViewModel::setContextPercent(int value)
{
    return update(m_contextPercent, value, &PanelViewModel::contextPercentChanged);
}

bool PanelViewModel::setModelName(QString value)
{
    return update(m_modelName, std::move(value), &PanelViewModel::modelNameChanged);
}

bool PanelViewModel::setPendingApprovalMessage(QString value)
{
    return update(m_pendingApprovalMessage, std::move(value), &PanelViewModel::pendingApprovalMessageChanged);
}

bool PanelViewModel::setPttActive(bool value)
{
    return update(m_pttActive, value, &PanelViewModel::pttActiveChanged);
}

bool PanelViewModel::setAsrPartialText(QString value)
{
    return update(m_asrPartialText, std::move(value), &PanelViewModel::asrPartialTextChanged);
}

bool PanelViewModel::setAsrEnhancing(bool value)
{
    return update(m_asrEnhancing, value, &PanelViewModel::asrEnhancingChanged);
}

bool PanelViewModel::setAsrEnhancedText(QString value)
{
    return update(m_asrEnhancedText, std::move(value), &PanelViewModel::asrEnhancedTextChanged);
}

bool PanelViewModel::setAwaitingCommitText(QString value)
{
    return update(m_awaitingCommitText, std::move(value), &PanelViewModel::awaitingCommitTextChanged);
}

bool PanelViewModel::setAwaitingCommitIsRaw(bool value)
{
    return update(m_awaitingCommitIsRaw, value, &PanelViewModel::awaitingCommitIsRawChanged);
}

bool PanelViewModel::setVoiceCancelledFeedback(bool value)
{
    return update(m_voiceCancelledFeedback, value, &PanelViewModel::voiceCancelledFeedbackChanged);
}

bool PanelViewModel::setAccessibilityNeedGrant(bool value)
{
    return update(m_accessibilityNeedGrant, value, &PanelViewModel::accessibilityNeedGrantChanged);
}

bool PanelViewModel::setSummaryActive(bool value)
{
    return update(m_summaryActive, value, &PanelViewModel::summaryActiveChanged);
}

bool PanelViewModel::setSummaryText(QString value)
{
    return update(m_summaryText, std::move(value), &PanelViewModel::summaryTextChanged);
}

bool PanelViewModel::setMeasuredOpenedContentHeight(double value)
{
    return update(m_measuredOpenedContentHeight, value, &PanelViewModel::measuredOpenedContentHeightChanged);
}

bool PanelViewModel::setCurrentSurface(IslandSurface value)
{
    return update(m_currentSurface, std::move(value), &PanelViewModel::currentSurfaceChanged);
}

bool PanelViewModel::setUpdatedAt(QDateTime value)
{
    return update(m_updatedAt, std::move(value), &PanelViewModel::updatedAtChanged);
}

bool PanelViewModel::setCloudEmail(QString value)
{
    return update(m_cloudEmail, std::move(value), &PanelViewModel::cloudEmailChanged);
}

bool PanelViewModel::setCloudTier(QString value)
{
    return update(m_cloudTier, std::move(value), &PanelViewModel::cloudTierChanged);
}

bool PanelViewModel::setCloudMinutesLeft(qint64 value)
{
    return update(m_cloudMinutesLeft, value, &PanelViewModel::cloudMinutesLeftChanged);
}

bool PanelViewModel::setCloudQuotaMinutes(qint64 value)
{
    return update(m_cloudQuotaMinutes, value, &PanelViewModel::cloudQuotaMinutesChanged);
}

bool PanelViewModel::setCloudMinutesUsed(qint64 value)
{
    return update(m_cloudMinutesUsed, value, &PanelViewModel::cloudMinutesUsedChanged);
}

bool PanelViewModel::setCloudMinutesUsedWeek(qint64 value)
{
    return update(m_cloudMinutesUsedWeek, value, &PanelViewModel::cloudMinutesUsedWeekChanged);
}

bool PanelViewModel::setCloudMonthResetAt(qint64 value)
{
    return update(m_cloudMonthResetAt, value, &PanelViewModel::cloudMonthResetAtChanged);
}

bool PanelViewModel::setCloudWeekResetAt(qint64 value)
{
    return update(m_cloudWeekResetAt, value, &PanelViewModel::cloudWeekResetAtChanged);
}

bool PanelViewModel::setUsageSnapshots(std::vector<usage::CodexBarProviderUsage> value)
{
    return update(m_usageSnapshots, std::move(value), &PanelViewModel::usageSnapshotsChanged);
}

bool PanelViewModel::setUsageSnapshot(std::optional<usage::CodexBarUsageSnapshot> value)
{
    return update(m_usageSnapshot, std::move(value), &PanelViewModel::usageSnapshotChanged);
}

bool PanelViewModel::setSessions(QList<SessionRow> value)
{
    return update(m_sessions, std::move(value), &PanelViewModel::sessionsChanged);
}

bool PanelViewModel::setExpandedRowIDs(QSet<QString> value)
{
    return update(m_expandedRowIDs, std::move(value), &PanelViewModel::expandedRowIDsChanged);
}

bool PanelViewModel::setModeBHintText(QString value, bool notice)
{
    // Each hint gets its full time on screen, even one equal to the hint already showing.
    if (value.isEmpty()) {
        stopTimer(m_modeBHintTimer);
    } else {
        restartTimer(m_modeBHintTimer, notice ? noticeMs : modeBHintMs, [this] { setModeBHintText(QString()); });
    }
    const bool kindChanged = std::exchange(m_modeBHintIsNotice, notice && !value.isEmpty()) != m_modeBHintIsNotice;
    if (update(m_modeBHintText, std::move(value), &PanelViewModel::modeBHintTextChanged)) {
        return true;
    }
    if (kindChanged) {
        Q_EMIT modeBHintTextChanged();
    }
    return kindChanged;
}

std::optional<SessionRow> PanelViewModel::activeSession() const
{
    const auto it
        = std::find_if(m_sessions.begin(), m_sessions.end(), [](const SessionRow& row) { return row.isActive; });
    return it == m_sessions.end() ? std::nullopt : std::optional(*it);
}

std::optional<QString> PanelViewModel::mostUrgentSessionSid() const
{
    // Of equally old rows the first in the list wins.
    const auto oldestIn = [this](auto matches) -> const SessionRow* {
        const SessionRow* oldest = nullptr;
        for (const SessionRow& row : m_sessions) {
            if (matches(row.state) && (!oldest || row.updatedAt < oldest->updatedAt)) {
                oldest = &row;
            }
        }
        return oldest;
    };
    const SessionRow* urgent
        = oldestIn([](const SessionState& s) { return s.kind() == SessionState::Kind::NeedsApproval; });
    if (!urgent) {
        urgent = oldestIn([](const SessionState& s) { return s.isError(); });
    }
    return urgent ? std::optional(urgent->sid) : std::nullopt;
}

QString PanelViewModel::attentionSessionProjectName() const
{
    const std::optional<QString> urgent = mostUrgentSessionSid();
    if (!urgent) {
        return {};
    }
    const std::optional<SessionRow> active = activeSession();
    if (active && active->sid == *urgent) {
        return {};
    }
    const auto it
        = std::find_if(m_sessions.begin(), m_sessions.end(), [&](const SessionRow& row) { return row.sid == *urgent; });
    return it == m_sessions.end() ? QString() : it->projectName;
}

void PanelViewModel::dismissNotification()
{
    setCurrentSurface(IslandSurface::sessionList());
    setUpdatedAt(m_clock.now());
}

void PanelViewModel::enterCommitWindow(const QString& text, bool isRaw)
{
    setAwaitingCommitText(text);
    setAwaitingCommitIsRaw(isRaw);
    setVoiceCancelledFeedback(false);
    if (!isRaw) {
        setAsrEnhancedText(text);
    }
}

void PanelViewModel::cancelVoiceTake()
{
    setAwaitingCommitText(QString());
    setAsrEnhancedText(QString());
    setAsrPartialText(QString());
    setAsrEnhancing(false);
    setVoiceCancelledFeedback(true);
    // A second cancel while the banner shows gives it its full time again.
    restartTimer(m_cancelFeedbackTimer, voiceCancelledFeedbackMs, [this] { setVoiceCancelledFeedback(false); });
}

} // namespace murmeli::notch
