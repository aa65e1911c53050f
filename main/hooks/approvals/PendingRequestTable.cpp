#include "main/hooks/approvals/PendingRequestTable.h"

#include <algorithm>
#include <vector>

namespace murmeli::hooks {

PendingRequestTable::PendingRequestTable(
    common::Clock& clock, qint64 warningAfterMs, qint64 timeoutAfterMs, qint64 holdLimitMs)
    : m_clock(clock), m_warningAfterMs(warningAfterMs), m_timeoutAfterMs(timeoutAfterMs), m_holdLimitMs(holdLimitMs)
{
}

PendingRequestTable::~PendingRequestTable()
{
    // Nobody may be left waiting on a table that is gone: the agents get their own prompt back.
    std::optional<Entry> active = std::exchange(m_active, std::nullopt);
    std::deque<Entry> queue = std::exchange(m_queue, {});
    if (active) {
        cancelTimers(*active);
        active->answer.fulfil(ApprovalDecision::failOpen());
    }
    for (Entry& entry : queue) {
        cancelTimers(entry);
        entry.answer.fulfil(ApprovalDecision::failOpen());
    }
}

const PendingRequestTable::Entry* PendingRequestTable::findHeld(const QString& toolUseId) const
{
    if (m_active && m_active->request.toolUseId == toolUseId) {
        return &*m_active;
    }
    const auto it = std::find_if(
        m_queue.begin(), m_queue.end(), [&](const Entry& entry) { return entry.request.toolUseId == toolUseId; });
    return it == m_queue.end() ? nullptr : &*it;
}

QCoro::Task<ApprovalDecision> PendingRequestTable::enqueue(ApprovalRequest request)
{
    if (findHeld(request.toolUseId) || (admits && !admits(request))) {
        co_return ApprovalDecision::failOpen();
    }
    m_bySession[request.sessionId].append(request);
    const common::OneShot<ApprovalDecision> answer;
    Entry entry { std::move(request), answer };
    // However long the queue in front, the hook must still be there to take the reply.
    entry.holdLimitTimer = m_clock.schedule(m_holdLimitMs, [this, id = entry.request.toolUseId] { expire(id); });
    entry.failsOpenAtMs = m_clock.continuousMs() + m_holdLimitMs;
    if (m_active) {
        m_queue.push_back(std::move(entry));
    } else {
        m_active = std::move(entry);
        activate(*m_active);
    }
    announceChange();
    // Only the answer is touched after the wait: the table may be gone by then.
    co_return co_await answer;
}

void PendingRequestTable::activate(Entry& entry)
{
    const QString id = entry.request.toolUseId;
    // A request promoted from the queue gets the full delays from its promotion, whatever time it spent queued.
    entry.warningTimer = m_clock.schedule(m_warningAfterMs, [this, id] { fireWarningIfActive(id); });
    entry.timeoutTimer = m_clock.schedule(m_timeoutAfterMs, [this, id] { fireTimeoutIfActive(id); });
    entry.failsOpenAtMs = std::min(entry.failsOpenAtMs, m_clock.continuousMs() + m_timeoutAfterMs);
    // Last, and with a copy: a handler may answer the request before it returns, which ends this entry.
    if (onActivate) {
        const ApprovalRequest request = entry.request;
        onActivate(request);
    }
}

void PendingRequestTable::cancelTimers(Entry& entry)
{
    if (entry.warningTimer) {
        m_clock.cancel(*entry.warningTimer);
        entry.warningTimer.reset();
    }
    if (entry.timeoutTimer) {
        m_clock.cancel(*entry.timeoutTimer);
        entry.timeoutTimer.reset();
    }
    if (entry.holdLimitTimer) {
        m_clock.cancel(*entry.holdLimitTimer);
        entry.holdLimitTimer.reset();
    }
}

void PendingRequestTable::fireWarningIfActive(const QString& toolUseId)
{
    if (!m_active || m_active->request.toolUseId != toolUseId || m_active->warningFired) {
        return;
    }
    m_active->warningTimer.reset();
    m_active->warningFired = true;
    if (onWarning) {
        const ApprovalRequest request = m_active->request;
        onWarning(request);
    }
}

void PendingRequestTable::fireTimeoutIfActive(const QString& toolUseId)
{
    if (!m_active || m_active->request.toolUseId != toolUseId) {
        return;
    }
    m_active->timeoutTimer.reset();
    finishActive(ApprovalDecision::failOpen());
}

void PendingRequestTable::expire(const QString& toolUseId)
{
    const Entry* held = findHeld(toolUseId);
    if (!held) {
        return;
    }
    const ApprovalRequest expired = held->request;
    resolve(toolUseId, ApprovalDecision::failOpen());
    if (onExpire) {
        onExpire(expired);
    }
}

void PendingRequestTable::resolve(const QString& toolUseId, const ApprovalDecision& decision)
{
    if (m_active && m_active->request.toolUseId == toolUseId) {
        finishActive(decision);
        return;
    }
    const auto it = std::find_if(
        m_queue.begin(), m_queue.end(), [&](const Entry& entry) { return entry.request.toolUseId == toolUseId; });
    if (it == m_queue.end()) {
        return;
    }
    Entry entry = std::move(*it);
    m_queue.erase(it);
    cancelTimers(entry);
    forget(entry.request);
    announceChange();
    entry.answer.fulfil(decision);
}

void PendingRequestTable::finishActive(const ApprovalDecision& decision)
{
    Entry finished = std::move(*m_active);
    m_active.reset();
    cancelTimers(finished);
    forget(finished.request);
    promoteNext();
    announceChange();
    // Answered last: the waiter resumes right here and must find the table already consistent.
    finished.answer.fulfil(decision);
}

void PendingRequestTable::promoteNext()
{
    if (m_queue.empty()) {
        return;
    }
    m_active = std::move(m_queue.front());
    m_queue.pop_front();
    activate(*m_active);
}

void PendingRequestTable::forget(const ApprovalRequest& request)
{
    const auto session = m_bySession.find(request.sessionId);
    if (session == m_bySession.end()) {
        return;
    }
    session->second.removeIf([&](const ApprovalRequest& held) { return held.toolUseId == request.toolUseId; });
    if (session->second.isEmpty()) {
        m_bySession.erase(session);
    }
}

PendingRequestTable::Subscription PendingRequestTable::observeChanges(std::function<void()> observer)
{
    const int id = m_nextObserver++;
    m_observers->emplace(id, std::move(observer));
    return Subscription(nullptr, [observers = std::weak_ptr<Observers>(m_observers), id](void*) {
        if (const std::shared_ptr<Observers> live = observers.lock()) {
            live->erase(id);
        }
    });
}

void PendingRequestTable::announceChange()
{
    // An observer may drop its own subscription, or another's, while it runs: each is looked up afresh.
    std::vector<int> ids;
    ids.reserve(m_observers->size());
    for (const auto& [id, observer] : *m_observers) {
        ids.push_back(id);
    }
    const std::shared_ptr<Observers> observers = m_observers;
    for (const int id : ids) {
        const auto it = observers->find(id);
        if (it != observers->end()) {
            const std::function<void()> observer = it->second;
            observer();
        }
    }
}

PendingSnapshot PendingRequestTable::snapshot() const
{
    return PendingSnapshot { activeRequest(), queueDepth() };
}

QList<ApprovalRequest> PendingRequestTable::heldRequests() const
{
    QList<ApprovalRequest> held;
    if (m_active) {
        held.append(m_active->request);
    }
    for (const Entry& entry : m_queue) {
        held.append(entry.request);
    }
    return held;
}

QList<ApprovalRequest> PendingRequestTable::heldRequestsOf(const QString& sessionId) const
{
    const auto session = m_bySession.find(sessionId);
    return session == m_bySession.end() ? QList<ApprovalRequest> {} : session->second;
}

int PendingRequestTable::queueDepth() const
{
    return static_cast<int>(m_queue.size());
}

std::optional<ApprovalRequest> PendingRequestTable::activeRequest() const
{
    if (!m_active) {
        return std::nullopt;
    }
    return m_active->request;
}

std::optional<qint64> PendingRequestTable::activeFailsOpenAtMs() const
{
    if (!m_active) {
        return std::nullopt;
    }
    return m_active->failsOpenAtMs;
}

bool PendingRequestTable::hasActive() const
{
    return m_active.has_value();
}

bool PendingRequestTable::activeWarningFired() const
{
    return m_active && m_active->warningFired;
}

int PendingRequestTable::pendingCountTotal() const
{
    return queueDepth() + (m_active ? 1 : 0);
}

qint64 PendingRequestTable::oldestPendingAgeSec() const
{
    const ApprovalRequest* oldest = nullptr;
    if (m_active) {
        oldest = &m_active->request;
    } else if (!m_queue.empty()) {
        oldest = &m_queue.front().request;
    }
    if (!oldest) {
        return -1;
    }
    return oldest->enqueuedAt.msecsTo(m_clock.now()) / 1000;
}

} // namespace murmeli::hooks
