#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include "main/hooks/approvals/ApprovalTypes.h"

namespace murmeli::hooks {

/// A second place where the active permission request is shown and answered (the push-to-talk device).
/// Answers do not come back through here: a bridge calls PendingRequestTable::resolve itself.
class ApprovalBridge {
public:
    ApprovalBridge() = default;
    virtual ~ApprovalBridge() = default;
    ApprovalBridge(const ApprovalBridge&) = delete;
    ApprovalBridge& operator=(const ApprovalBridge&) = delete;

    /// A request has just become active.
    virtual QCoro::Task<> requestApproval(ApprovalRequest request) = 0;
    /// The active request has gone unanswered for the warning delay.
    virtual QCoro::Task<> signalWarning(ApprovalRequest request) = 0;
    /// The request with this id is to be taken off the display.
    virtual QCoro::Task<> cancelPending(QString toolUseId) = 0;
};

/// The bridge in force until a device bridge is installed: every request is left to the panel.
class NullApprovalBridge final : public ApprovalBridge {
public:
    QCoro::Task<> requestApproval(ApprovalRequest request) override;
    QCoro::Task<> signalWarning(ApprovalRequest request) override;
    QCoro::Task<> cancelPending(QString toolUseId) override;
};

} // namespace murmeli::hooks
