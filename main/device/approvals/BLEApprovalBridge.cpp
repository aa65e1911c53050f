#include "main/device/approvals/BLEApprovalBridge.h"

#include "main/device/approvals/BLEApprovalFraming.h"
#include "main/device/link/BLEBridge.h"
#include "main/hooks/approvals/PendingRequestTable.h"

namespace murmeli::device {

using common::LogColor;

BLEApprovalBridge::BLEApprovalBridge(Send send, Resolve resolve)
    : m_send(std::move(send)), m_resolve(std::move(resolve))
{
}

std::shared_ptr<BLEApprovalBridge> BLEApprovalBridge::overLink(BLEBridge& ble, hooks::PendingRequestTable& table)
{
    auto bridge = std::make_shared<BLEApprovalBridge>([&ble](const QString& line) { ble.send(line); },
        [&table](const QString& toolUseId, const hooks::ApprovalDecision& decision) {
            const bool waiting = table.isHeld(toolUseId);
            table.resolve(toolUseId, decision);
            return waiting;
        });
    // The link notifies on every signal reading too; only the step into the connected state shows the prompt again.
    // The link calls copies of its observers, so what this one remembers lives outside it.
    auto wasConnected = std::make_shared<bool>(ble.isConnected());
    ble.addStateObserver([weak = std::weak_ptr(bridge), &ble, &table, wasConnected] {
        const bool arrived = ble.isConnected() && !*wasConnected;
        *wasConnected = ble.isConnected();
        if (const std::shared_ptr<BLEApprovalBridge> alive = weak.lock(); alive && arrived) {
            alive->deviceConnected(table.activeRequest());
        }
    });
    return bridge;
}

void BLEApprovalBridge::sendLine(const QString& line)
{
    if (m_send) {
        m_send(line);
    }
}

void BLEApprovalBridge::sendPrompt(const Shown& shown)
{
    hooks::ApprovalRequest onDevice = shown.request;
    onDevice.toolUseId = m_ids.shortIdFor(shown.request.toolUseId);
    sendLine(BLEApprovalFraming::buildQuery(onDevice, shown.queuedCount));
}

QCoro::Task<> BLEApprovalBridge::requestApproval(hooks::ApprovalRequest request)
{
    showRequest(request, 0);
    co_return;
}

void BLEApprovalBridge::showRequest(const hooks::ApprovalRequest& request, int queuedCount)
{
    if (m_shown && m_shown->request.toolUseId != request.toolUseId) {
        retire(m_shown->request.toolUseId, true);
    }
    m_shown = Shown { request, queuedCount };
    sendPrompt(*m_shown);
}

void BLEApprovalBridge::deviceConnected(const std::optional<hooks::ApprovalRequest>& waiting)
{
    if (!waiting) {
        // Nothing waits, and the device that just came shows nothing.
        m_shown.reset();
        return;
    }
    const bool same = m_shown && m_shown->request.toolUseId == waiting->toolUseId;
    showRequest(*waiting, same ? m_shown->queuedCount : 0);
}

QCoro::Task<> BLEApprovalBridge::signalWarning(hooks::ApprovalRequest request)
{
    // Only a prompt the device was given can be warned about.
    if (const std::optional<QString> shortId = m_ids.liveShortId(request.toolUseId)) {
        sendLine(BLEApprovalFraming::buildWarning(*shortId));
    }
    co_return;
}

QCoro::Task<> BLEApprovalBridge::cancelPending(QString toolUseId)
{
    retire(toolUseId, true);
    co_return;
}

void BLEApprovalBridge::retire(const QString& toolUseId, bool tellDevice)
{
    const std::optional<QString> shortId = m_ids.liveShortId(toolUseId);
    if (!shortId) {
        return;
    }
    if (tellDevice) {
        sendLine(BLEApprovalFraming::buildCancel(*shortId));
    }
    m_ids.retire(toolUseId);
    if (m_shown && m_shown->request.toolUseId == toolUseId) {
        m_shown.reset();
    }
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
    if (const auto response = BLEApprovalFraming::parseResponse(line)) {
        resolveFromDevice(response->toolUseId, response->decision);
    }
}

void BLEApprovalBridge::resolveFromDevice(const QString& wireId, const hooks::ApprovalDecision& decision)
{
    const QString fullId = m_ids.fullIdFor(wireId);
    // Only the id the device was shown for a waiting request names it. A full id that another request was shown
    // under before (agents that number their calls reuse "call_1" in every session) would otherwise let a repeated
    // answer decide a request the device never showed.
    if (m_ids.liveShortId(fullId) != wireId) {
        if (const std::optional<QString> over = m_ids.retiredFullId(wireId)) {
            // A repeated or late answer: the id named a request that has ended, and names nothing else.
            onLog(QStringLiteral("[approval-diag] device answered ") + wireId + QStringLiteral(" (") + *over
                    + QStringLiteral("), which no longer waits; nothing resolved"),
                LogColor::Orange);
        } else {
            onLog(QStringLiteral("[approval-diag] device answered ") + wireId
                    + QStringLiteral(", which names no request it was shown; nothing resolved"),
                LogColor::Orange);
        }
        return;
    }
    // The device took the prompt down itself when it answered.
    retire(fullId, false);
    if (!m_resolve || !m_resolve(fullId, decision)) {
        onLog(QStringLiteral("[approval-diag] device answered ") + wireId
                + QStringLiteral(", which names no waiting request; nothing resolved"),
            LogColor::Orange);
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
