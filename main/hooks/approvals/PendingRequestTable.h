#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"
#include "main/hooks/approvals/ApprovalTypes.h"

namespace murmeli::hooks {

/// Permission requests waiting for a decision: one active (shown to the user), the rest queued in arrival order.
/// Each caller of enqueue() waits until its request is resolved, times out while active (fail-open), reaches the
/// hold limit counted from its arrival, active or queued (fail-open), turns out to duplicate a request already held
/// (fail-open at once), or has no place to be shown (fail-open at once). Confined to the thread it was created on; its
/// timers run on the injected clock's continuous scale, so a request held across a suspend fails open at the wake.
class PendingRequestTable final {
public:
    using Handler = std::function<QCoro::Task<>(ApprovalRequest request)>;

    static constexpr qint64 defaultWarningAfterMs = 5000;
    static constexpr qint64 defaultTimeoutAfterMs = 25000;
    /// The permission hook's command is killed at 60 s and its script stops waiting at 58 s; a reply after that
    /// reaches nobody. The rest of the margin covers the script's start and the reply's way back.
    static constexpr qint64 defaultHoldLimitMs = 55000;

    explicit PendingRequestTable(common::Clock& clock, qint64 warningAfterMs = defaultWarningAfterMs,
        qint64 timeoutAfterMs = defaultTimeoutAfterMs, qint64 holdLimitMs = defaultHoldLimitMs);
    /// Answers every caller still waiting with fail-open.
    ~PendingRequestTable();
    PendingRequestTable(const PendingRequestTable&) = delete;
    PendingRequestTable& operator=(const PendingRequestTable&) = delete;

    /// Started, not awaited, when a request becomes active.
    Handler onActivate;
    /// Started, not awaited, once per activation when the active request reaches the warning delay.
    Handler onWarning;
    /// Started, not awaited, when a request has failed open at the hold limit; it is no longer held by then.
    Handler onExpire;
    /// Whether a request that arrives can be shown to someone who may answer it; one that cannot fails open at once,
    /// so its agent asks in its own terminal rather than after the time-out. Unset: every request can.
    std::function<bool(const ApprovalRequest& request)> admits;

    /// Keeps an observer registered while it lives; dropping it unregisters, even after the table is gone.
    using Subscription = std::shared_ptr<void>;
    /// observer runs, in the turn of the change, each time the set of held requests or the active one changes:
    /// after a request is taken in, answered from anywhere, timed out or expired, with the table already in its new
    /// state and before the waiting caller is answered. Observers run in the order they subscribed. A table that is
    /// destroyed tells nobody.
    [[nodiscard]] Subscription observeChanges(std::function<void()> observer);

    /// Holds the request until it is decided.
    QCoro::Task<ApprovalDecision> enqueue(ApprovalRequest request);
    /// Answers the held request with this id, active or queued; an id that is not held is ignored.
    void resolve(const QString& toolUseId, const ApprovalDecision& decision);

    PendingSnapshot snapshot() const;
    /// Every held request: the active one first, then the queue in arrival order.
    QList<ApprovalRequest> heldRequests() const;
    /// Whether the request with this id waits, active or queued.
    bool isHeld(const QString& toolUseId) const { return findHeld(toolUseId) != nullptr; }
    /// The held requests of one session in arrival order, at a cost that does not grow with the other sessions'.
    QList<ApprovalRequest> heldRequestsOf(const QString& sessionId) const;
    bool holdsRequestOf(const QString& sessionId) const { return m_bySession.contains(sessionId); }
    int queueDepth() const;
    std::optional<ApprovalRequest> activeRequest() const;
    /// When the active request fails open unless it is answered first, on the clock's continuous scale: its time-out,
    /// or its hold limit when that comes sooner. Absent when none is active.
    std::optional<qint64> activeFailsOpenAtMs() const;
    bool hasActive() const;
    bool activeWarningFired() const;
    int pendingCountTotal() const;
    /// Seconds since the oldest held request (the active one, else the oldest queued) arrived; -1 when none is.
    qint64 oldestPendingAgeSec() const;

private:
    struct Entry {
        ApprovalRequest request;
        common::OneShot<ApprovalDecision> answer;
        bool warningFired = false;
        /// On the continuous scale: the hold limit from arrival, and once active its time-out when that is sooner.
        qint64 failsOpenAtMs = 0;
        std::optional<common::Clock::TimerId> warningTimer {};
        std::optional<common::Clock::TimerId> timeoutTimer {};
        std::optional<common::Clock::TimerId> holdLimitTimer {}; // runs from arrival, queued or active
    };

    const Entry* findHeld(const QString& toolUseId) const;
    void activate(Entry& entry);
    void cancelTimers(Entry& entry);
    void fireWarningIfActive(const QString& toolUseId);
    void fireTimeoutIfActive(const QString& toolUseId);
    void expire(const QString& toolUseId);
    /// Takes the active entry out, promotes the next one, then answers the one taken out.
    void finishActive(const ApprovalDecision& decision);
    void promoteNext();
    void announceChange();
    void forget(const ApprovalRequest& request);

    using Observers = std::map<int, std::function<void()>>;

    common::Clock& m_clock;
    qint64 m_warningAfterMs;
    qint64 m_timeoutAfterMs;
    qint64 m_holdLimitMs;
    std::optional<Entry> m_active;
    std::deque<Entry> m_queue;
    // The held requests again, by session: what a session's events ask of the table costs nothing per other request.
    std::map<QString, QList<ApprovalRequest>> m_bySession;
    // Shared with the subscriptions, which hold it weakly, so that either side may go first.
    std::shared_ptr<Observers> m_observers = std::make_shared<Observers>();
    int m_nextObserver = 0;
};

} // namespace murmeli::hooks
