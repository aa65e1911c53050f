#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Log.h"
#include "main/device/approvals/ShortIdTable.h"
#include "main/hooks/approvals/ApprovalBridge.h"
#include "main/hooks/approvals/ApprovalTypes.h"

namespace murmeli::hooks {
class PendingRequestTable;
}

namespace murmeli::device {

class BLEBridge;

/// Shows the active permission request on the device and turns the device's answers into decisions. The device
/// knows each request by a short id (ShortIdTable) that names no other request; a decision is translated back to the
/// full id before it reaches the pending table; one that names a request no longer waiting, or an id the device was
/// not shown, resolves nothing.
/// Whichever way a request ends, its prompt leaves the device; a device that connects again is shown the prompt
/// still waiting. Main thread only.
class BLEApprovalBridge final : public hooks::ApprovalBridge {
public:
    /// One complete line without its line feed; may be called from any thread.
    using Send = std::function<void(const QString& line)>;
    /// Answers the held request with this full id; whether a waiting request took the decision.
    using Resolve = std::function<bool(const QString& toolUseId, const hooks::ApprovalDecision& decision)>;

    BLEApprovalBridge(Send send, Resolve resolve);
    /// Lines go out through the link, decisions go to the table, and every connection of the device shows it the
    /// waiting prompt again. The link and the table must outlive the bridge.
    static std::shared_ptr<BLEApprovalBridge> overLink(BLEBridge& ble, hooks::PendingRequestTable& table);

    common::LogSink onLog;
    /// Called with the full id of a request the device folded away; the request stays pending.
    std::function<void(const QString& toolUseId)> onCollapse;

    QCoro::Task<> requestApproval(hooks::ApprovalRequest request) override;
    QCoro::Task<> signalWarning(hooks::ApprovalRequest request) override;
    /// The request is over, however it ended: its prompt leaves the device unless the device answered it itself.
    QCoro::Task<> cancelPending(QString toolUseId) override;

    /// The prompt with the number of requests waiting behind it. The table shows a request only once the one before
    /// it has ended, so a prompt still shown for another request is taken off first.
    void showRequest(const hooks::ApprovalRequest& request, int queuedCount);
    /// One line from the device: a decision resolves its request, a fold is remembered; anything else is ignored.
    void handleControlFrame(const QString& line);
    /// The device has just connected and shows no prompt: the request the table has active, if any, is shown again.
    void deviceConnected(const std::optional<hooks::ApprovalRequest>& waiting);

    bool isFolded(const QString& toolUseId) const;
    void clearFolded(const QString& toolUseId);

private:
    struct Shown final {
        hooks::ApprovalRequest request;
        int queuedCount = 0;
    };

    void sendLine(const QString& line);
    void sendPrompt(const Shown& shown);
    /// The request is over: its id is never used again, and unless the device took the prompt down itself (it
    /// answered), a cancel line takes it off.
    void retire(const QString& toolUseId, bool tellDevice);
    void resolveFromDevice(const QString& wireId, const hooks::ApprovalDecision& decision);

    Send m_send;
    Resolve m_resolve;
    ShortIdTable m_ids;
    std::optional<Shown> m_shown;
    QSet<QString> m_folded;
};

} // namespace murmeli::device
