#include "main/device/approvals/BLEApprovalBridge.h"

#include "main/device/approvals/BLEApprovalFraming.h"
#include "main/device/link/BLEBridge.h"
#include "main/hooks/approvals/PendingRequestTable.h"

namespace murmeli::device {

BLEApprovalBridge::BLEApprovalBridge(Send send, Resolve resolve)
    : m_send(std::move(send)), m_resolve(std::move(resolve))
{
}

std::shared_ptr<BLEApprovalBridge> BLEApprovalBridge::overLink(BLEBridge& ble, hooks::PendingRequestTable& table)
{
    return std::make_shared<BLEApprovalBridge>([&ble](const QString& line) { ble.send(line); },
        [&table](
            const QString& toolUseId, const hooks::ApprovalDecision& decision) { table.resolve(toolUseId, decision); });
}

void BLEApprovalBridge::sendLine(const QString& line)
{
    if (m_send) {
        m_send(line);
    }
}

QCoro::Task<> BLEApprovalBridge::requestApproval(hooks::ApprovalRequest request)
{
    showRequest(request, 0);
    co_return;
}

void BLEApprovalBridge::showRequest(const hooks::ApprovalRequest& request, int queuedCount)
{
    hooks::ApprovalRequest shown = request;
    shown.toolUseId = m_ids.shortIdFor(request.toolUseId);
    sendLine(BLEApprovalFraming::buildQuery(shown, queuedCount));
}

QCoro::Task<> BLEApprovalBridge::signalWarning(hooks::ApprovalRequest request)
{
    sendLine(BLEApprovalFraming::buildWarning(m_ids.shortIdFor(request.toolUseId)));
    co_return;
}

QCoro::Task<> BLEApprovalBridge::cancelPending(QString toolUseId)
{
    sendLine(BLEApprovalFraming::buildCancel(m_ids.shortIdFor(toolUseId)));
    m_ids.forget(toolUseId);
    co_return;
}

void BLEApprovalBridge::handleControlFrame(const QString& line)
{
    if (const auto folded = BLEApprovalFraming::parseCollapse(line)) {
        const QString fullId = m_ids.fullIdFor(*folded);
        if (m_folded.size() >= ShortIdTable::capacity) {
            // The device may send folds without end; those of requests long gone are let go.
            m_folded.removeIf([this](const QString& id) { return !m_ids.knows(id); });
        }
        m_folded.insert(fullId);
        if (onCollapse) {
            onCollapse(fullId);
        }
        return;
    }
    const auto response = BLEApprovalFraming::parseResponse(line);
    if (!response) {
        return;
    }
    const QString fullId = m_ids.fullIdFor(response->toolUseId);
    m_ids.forget(fullId);
    if (m_resolve) {
        m_resolve(fullId, response->decision);
    }
}

bool BLEApprovalBridge::isFolded(const QString& toolUseId) const
{
    return m_folded.contains(toolUseId);
}

void BLEApprovalBridge::clearFolded(const QString& toolUseId)
{
    m_folded.remove(toolUseId);
}

} // namespace murmeli::device
