#pragma once

#include <functional>

#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/device/approvals/ShortIdTable.h"
#include "main/hooks/approvals/ApprovalBridge.h"
#include "main/hooks/approvals/ApprovalTypes.h"

namespace murmeli::hooks {
class PendingRequestTable;
}

namespace murmeli::device {

class BLEBridge;

/// Shows the active permission request on the device and turns the device's answers into decisions. The device
/// knows each request by a short id (ShortIdTable); a decision is translated back to the full id before it
/// reaches the pending table. Main thread only.
class BLEApprovalBridge final : public hooks::ApprovalBridge {
public:
    /// One complete line without its line feed; may be called from any thread.
    using Send = std::function<void(const QString& line)>;
    /// Answers the held request with this full id.
    using Resolve = std::function<void(const QString& toolUseId, const hooks::ApprovalDecision& decision)>;

    BLEApprovalBridge(Send send, Resolve resolve);
    /// Lines go out through the link; decisions go to the table. Both must outlive the bridge.
    static std::shared_ptr<BLEApprovalBridge> overLink(BLEBridge& ble, hooks::PendingRequestTable& table);

    /// Called with the full id of a request the device folded away; the request stays pending.
    std::function<void(const QString& toolUseId)> onCollapse;

    QCoro::Task<> requestApproval(hooks::ApprovalRequest request) override;
    QCoro::Task<> signalWarning(hooks::ApprovalRequest request) override;
    QCoro::Task<> cancelPending(QString toolUseId) override;

    /// The prompt with the number of requests waiting behind it.
    void showRequest(const hooks::ApprovalRequest& request, int queuedCount);
    /// One line from the device: a decision resolves its request, a fold is remembered; anything else is ignored.
    void handleControlFrame(const QString& line);

    bool isFolded(const QString& toolUseId) const;
    void clearFolded(const QString& toolUseId);

private:
    void sendLine(const QString& line);

    Send m_send;
    Resolve m_resolve;
    ShortIdTable m_ids;
    QSet<QString> m_folded;
};

} // namespace murmeli::device
