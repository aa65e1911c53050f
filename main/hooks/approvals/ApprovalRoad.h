#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QJsonObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/approvals/ApprovalBridge.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/approvals/SessionAllowRules.h"
#include "main/hooks/server/HeldRequest.h"

namespace murmeli::hooks {

/// The way of a permission request: from the hook server's held request into the pending table, out to the
/// approval bridge while it waits, and back as the reply text for the agent. Lives on the main thread.
class ApprovalRoad final {
public:
    ApprovalRoad(hooks::PendingRequestTable& table, common::Clock& clock);
    ApprovalRoad(const ApprovalRoad&) = delete;
    ApprovalRoad& operator=(const ApprovalRoad&) = delete;

    common::LogSink onLog;
    /// A permission request body could not be read as a request.
    std::function<void()> onParseFailure;
    /// After the bridge has been asked to show the request that became the active one: the panel and the spoken
    /// prompt.
    std::function<QCoro::Task<>(hooks::ApprovalRequest request)> onActivated;
    /// The key the sessions know an event's session by, so that a request is matched with the events of its own
    /// session only; unset, the first 8 characters of its "session_id".
    std::function<QString(const QJsonObject& payload)> sessionKeyOf;

    /// The bridge that shows approvals away from the panel; an empty one puts the null bridge back.
    void setBridge(std::shared_ptr<hooks::ApprovalBridge> bridge);
    /// Points the table's activation, warning and expiry handlers at the bridge.
    void installTableHandlers();

    /// Another event of the agent: when it shows that the agent has moved past a request still held for the same
    /// session (the user answered it in the agent's own terminal), that request fails open and its card goes.
    /// Moving past means the same tool with the same input finished or failed, or the session stopped, was
    /// interrupted (Codex's Esc, which cancels the request in the agent), took a new prompt or ended. A session that
    /// ends or starts again (but for a compaction) loses what murmeli allowed for the rest of it.
    void settleOvertaken(const QString& eventName, const QJsonObject& payload);
    /// The session with this whole id ended without saying so (its agent is gone): what murmeli allowed for the rest
    /// of it goes.
    void sessionEnded(const QString& sessionId);

    /// The hook server's reply handler: holds a permission request until the table decides; nullopt for every other
    /// event and for a body that is not a request.
    QCoro::Task<std::optional<QString>> reply(
        QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held);

private:
    QString sessionOf(const QJsonObject& payload) const;
    QCoro::Task<> announceActivation(hooks::ApprovalRequest request);
    QCoro::Task<> announceWarning(hooks::ApprovalRequest request);
    QCoro::Task<> dropAbandoned(QString toolUseId);
    QCoro::Task<> dropExpired(hooks::ApprovalRequest request);

    hooks::PendingRequestTable& m_table;
    common::Clock& m_clock;
    std::shared_ptr<hooks::ApprovalBridge> m_bridge = std::make_shared<hooks::NullApprovalBridge>();
    // Always Allow for the agents that cannot keep it themselves.
    hooks::SessionAllowRules m_sessionAllows;
};

} // namespace murmeli::hooks
