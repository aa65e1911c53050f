#include "main/hooks/approvals/ApprovalBridge.h"

namespace murmeli::hooks {

QCoro::Task<> NullApprovalBridge::requestApproval(ApprovalRequest)
{
    co_return;
}

QCoro::Task<> NullApprovalBridge::signalWarning(ApprovalRequest)
{
    co_return;
}

QCoro::Task<> NullApprovalBridge::cancelPending(QString)
{
    co_return;
}

} // namespace murmeli::hooks
