#include "tests/support/MockApprovalBridge.h"

namespace murmeli::test {

QCoro::Task<> MockApprovalBridge::requestApproval(hooks::ApprovalRequest request)
{
    requestLog << request.toolUseId;
    if (m_scripts.empty()) {
        co_return;
    }
    const Scripted next = m_scripts.front();
    m_scripts.pop_front();
    // The resolver in force now answers, even if another is set before the delay is over.
    m_clock.schedule(next.delayMs, [resolver = m_resolver, id = request.toolUseId, decision = next.decision] {
        if (resolver) {
            resolver(id, decision);
        }
    });
}

QCoro::Task<> MockApprovalBridge::signalWarning(hooks::ApprovalRequest request)
{
    warningLog << request.toolUseId;
    co_return;
}

QCoro::Task<> MockApprovalBridge::cancelPending(QString toolUseId)
{
    cancelLog << toolUseId;
    co_return;
}

} // namespace murmeli::test
