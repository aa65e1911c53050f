#pragma once

#include <deque>
#include <functional>
#include <optional>

#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"
#include "main/hooks/approvals/ApprovalTypes.h"

namespace murmeli::hooks {

/// Permission requests waiting for a decision: one active (shown to the user), the rest queued in arrival order.
/// Each caller of enqueue() waits until its request is resolved, times out while active (fail-open), or turns out
/// to duplicate a request already held (fail-open at once). Confined to the thread it was created on; its timers
/// run on the injected clock's continuous scale, so a request held across a suspend fails open at the wake.
class PendingRequestTable final {
public:
    using Handler = std::function<QCoro::Task<>(ApprovalRequest request)>;

    static constexpr qint64 defaultWarningAfterMs = 5000;
    static constexpr qint64 defaultTimeoutAfterMs = 25000;

    explicit PendingRequestTable(common::Clock& clock, qint64 warningAfterMs = defaultWarningAfterMs,
        qint64 timeoutAfterMs = defaultTimeoutAfterMs);
    /// Answers every caller still waiting with fail-open.
    ~PendingRequestTable();
    PendingRequestTable(const PendingRequestTable&) = delete;
    PendingRequestTable& operator=(const PendingRequestTable&) = delete;

    /// Started, not awaited, when a request becomes active.
    Handler onActivate;
    /// Started, not awaited, once per activation when the active request reaches the warning delay.
    Handler onWarning;

    /// Holds the request until it is decided.
    QCoro::Task<ApprovalDecision> enqueue(ApprovalRequest request);
    /// Answers the held request with this id, active or queued; an id that is not held is ignored.
    void resolve(const QString& toolUseId, const ApprovalDecision& decision);

    PendingSnapshot snapshot() const;
    int queueDepth() const;
    std::optional<ApprovalRequest> activeRequest() const;
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
        std::optional<common::Clock::TimerId> warningTimer;
        std::optional<common::Clock::TimerId> timeoutTimer;
    };

    bool isHeld(const QString& toolUseId) const;
    void activate(Entry& entry);
    void cancelTimers(Entry& entry);
    void fireWarningIfActive(const QString& toolUseId);
    void fireTimeoutIfActive(const QString& toolUseId);
    /// Takes the active entry out, promotes the next one, then answers the one taken out.
    void finishActive(const ApprovalDecision& decision);
    void promoteNext();

    common::Clock& m_clock;
    qint64 m_warningAfterMs;
    qint64 m_timeoutAfterMs;
    std::optional<Entry> m_active;
    std::deque<Entry> m_queue;
};

} // namespace murmeli::hooks
