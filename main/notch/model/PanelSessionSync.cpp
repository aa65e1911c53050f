#include "main/notch/model/PanelSessionSync.h"

#include <algorithm>

#include <QPointer>
#include <QStringList>

#include "main/common/OffThread.h"
#include "main/common/TextUtils.h"
#include "main/notch/model/ApprovalDetail.h"
#include "main/notch/model/SessionRowBuilder.h"

namespace murmeli::notch {

namespace {

bool isBusy(const SessionState& state)
{
    using Kind = SessionState::Kind;
    return state.kind() == Kind::Working || state.kind() == Kind::Compacting || state.kind() == Kind::PttActive;
}

bool isWaitingForUser(const SessionState& state)
{
    using Kind = SessionState::Kind;
    return state.kind() == Kind::NeedsApproval || state.kind() == Kind::WaitingForAnswer;
}

} // namespace

PanelSessionSync::PanelSessionSync(PanelViewModel& vm, const common::Clock& clock,
    const hooks::SessionRegistry& registry, const hooks::StatusDirectory& directory, hooks::PendingRequestTable& table)
    : m_vm(vm), m_clock(clock), m_registry(registry), m_directory(directory), m_table(table),
      m_tableChanges(table.observeChanges([this] { apply(); }))
{
}

QString PanelSessionSync::approvalMessage(const hooks::ApprovalRequest& request)
{
    // One line on the strip, where a control in the tool's name or the command could reorder what it says.
    return common::text::visible(request.commandPreview.isEmpty()
            ? request.toolName
            : request.toolName + QStringLiteral(": ") + request.commandPreview,
        common::text::Breaks::Escape);
}

std::optional<QString> PanelSessionSync::jumpNotice(hooks::TeleportResult result)
{
    switch (result) {
    case hooks::TeleportResult::Success:
        return std::nullopt;
    case hooks::TeleportResult::TerminalClosed:
        return QStringLiteral("No terminal found");
    case hooks::TeleportResult::Timeout:
        return QStringLiteral("Terminal did not answer");
    case hooks::TeleportResult::PermissionDenied:
        return QStringLiteral("Terminal not allowed");
    case hooks::TeleportResult::Unsupported:
        return QStringLiteral("Terminal not supported");
    case hooks::TeleportResult::Undecided:
        return QStringLiteral("Can't tell which terminal");
    }
    return std::nullopt;
}

void PanelSessionSync::noteJump(const QString& sid, hooks::TeleportResult result)
{
    if (const std::optional<QString> text = jumpNotice(result)) {
        m_jumpNotices.insert(sid, { *text, m_clock.now().addMSecs(jumpNoticeMs) });
    } else {
        m_jumpNotices.remove(sid);
    }
    apply();
}

void PanelSessionSync::sync(std::optional<hooks::ClaudeStatus> selectedStatus, hooks::TranscriptData selectedTranscript)
{
    m_selectedStatus = std::move(selectedStatus);
    m_selectedTranscript = std::move(selectedTranscript);
    if (m_reading) {
        m_readAgain = true;
    } else {
        readOtherSessions();
    }
}

void PanelSessionSync::apply()
{
    const std::optional<hooks::SessionKey> selected = m_registry.selectedSid();
    const auto statusOf = [&](const hooks::SessionKey& key) -> const hooks::ClaudeStatus* {
        if (key == selected) {
            return m_selectedStatus ? &*m_selectedStatus : nullptr;
        }
        const auto found = m_otherStatuses.constFind(key.text());
        return found == m_otherStatuses.cend() ? nullptr : &*found;
    };
    const hooks::PendingSnapshot pending = m_table.snapshot();
    const QDateTime now = m_clock.now();
    QHash<QString, int> placeInLine;
    const QHash<QString, PendingApproval> approvals = heldApprovals(placeInLine);
    QList<SessionRow> rows = SessionRowBuilder::build(m_registry, statusOf, m_selectedTranscript, approvals, now);
    // Only the head of the line runs out of time: a person answering from the top must meet it first, and then
    // each request in the order its time will start.
    const auto place = [&](const SessionRow& row) { return placeInLine.value(row.sid, placeInLine.size()); };
    std::stable_sort(
        rows.begin(), rows.end(), [&](const SessionRow& a, const SessionRow& b) { return place(a) < place(b); });
    m_jumpNotices.removeIf([&](const auto& notice) { return notice.value().until <= now; });
    for (SessionRow& row : rows) {
        if (const auto notice = m_jumpNotices.constFind(row.sid); notice != m_jumpNotices.cend()) {
            row.jumpNotice = notice->text;
        }
    }

    const auto active = std::find_if(rows.cbegin(), rows.cend(), [](const SessionRow& row) { return row.isActive; });
    const bool hasActive = active != rows.cend();
    const auto count = [&](bool (*matches)(const SessionState&)) {
        return static_cast<int>(
            std::count_if(rows.cbegin(), rows.cend(), [&](const SessionRow& row) { return matches(row.state); }));
    };
    bool changed = false;
    changed |= m_vm.setSessionState(hasActive ? active->state : SessionState::noSession());
    changed |= m_vm.setCurrentActivity(hasActive ? active->activity : QString());
    changed |= m_vm.setContextPercent(hasActive ? std::max(active->sessionCtxPercent, 0) : 0);
    changed |= m_vm.setModelName(hasActive ? active->sessionModelName : QString());
    changed |= m_vm.setSessionTotal(static_cast<int>(rows.size()));
    changed |= m_vm.setSessionIndex(m_registry.selectedIndex());
    changed |= m_vm.setRunningAgents(count(isBusy));
    changed |= m_vm.setWaitingAgents(count(isWaitingForUser));
    changed |= m_vm.setPendingApprovalMessage(pending.active ? approvalMessage(*pending.active) : QString());
    // The request on show is the panel's approval card; once it is answered the card gives way to the list.
    if (pending.active) {
        changed |= m_vm.setCurrentSurface(
            IslandSurface::approvalCard(pending.active->sessionId, pending.active->toolUseId));
    } else if (m_vm.currentSurface().kind() == IslandSurface::Kind::ApprovalCard) {
        changed |= m_vm.setCurrentSurface(IslandSurface::sessionList());
    }
    // Last: the iterator above points into the rows.
    changed |= m_vm.setSessions(std::move(rows));
    if (changed) {
        m_vm.setUpdatedAt(now);
    }
}

QHash<QString, PendingApproval> PanelSessionSync::heldApprovals(QHash<QString, int>& placeInLine)
{
    QHash<QString, PendingApproval> written;
    QHash<QString, PendingApproval> bySession;
    const std::optional<qint64> activeFailsOpenAt = m_table.activeFailsOpenAtMs();
    for (const hooks::ApprovalRequest& request : m_table.heldRequests()) {
        const auto known = m_approvals.constFind(request.toolUseId);
        PendingApproval approval = known != m_approvals.cend() ? *known : ApprovalDetail::of(request);
        // Held in order, the active one first, and its time alone runs.
        approval.failsOpenAtMs = written.isEmpty() ? activeFailsOpenAt : std::nullopt;
        written.insert(request.toolUseId, approval);
        // A session's first request is the one its card answers.
        if (!bySession.contains(request.sessionId)) {
            placeInLine.insert(request.sessionId, static_cast<int>(bySession.size()));
            bySession.insert(request.sessionId, approval);
        }
    }
    m_approvals = std::move(written);
    return bySession;
}

QCoro::Task<> PanelSessionSync::readOtherSessions()
{
    const std::optional<hooks::SessionKey> selected = m_registry.selectedSid();
    QStringList keys;
    for (const hooks::SessionSnapshot& session : m_registry.sessions()) {
        if (session.sid8 != selected) {
            keys.append(session.sid8.text());
        }
    }
    const auto directory = m_directory.open();
    if (keys.isEmpty() || !directory) {
        m_otherStatuses.clear();
        apply();
        co_return;
    }
    m_reading = true;
    QPointer<QObject> alive = m_lifetime.get();
    // Named, not built inside the co_await: g++ 12 destroys temporaries of an awaited expression twice.
    // Each status is read on the directory's own thread within its limit: a directory that stops answering holds that
    // thread alone, and the pool's for no longer than the limit.
    std::function<QHash<QString, hooks::ClaudeStatus>()> job = [keys, shared = m_directory, now = m_clock.now()] {
        const auto directory = shared.open();
        return directory ? SessionRowBuilder::readStatuses(keys, *directory, now)
                         : QHash<QString, hooks::ClaudeStatus> {};
    };
    QHash<QString, hooks::ClaudeStatus> statuses = co_await common::runOffThread(std::move(job));
    if (!alive) {
        co_return;
    }
    m_reading = false;
    m_otherStatuses = std::move(statuses);
    apply();
    if (std::exchange(m_readAgain, false)) {
        readOtherSessions();
    }
}

} // namespace murmeli::notch
