#include "main/hooks/approvals/ApprovalRoad.h"

#include <QStringList>

#include "main/hooks/approvals/ApprovalSerialization.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/install/AgentAdapter.h"
#include "main/hooks/sessions/SessionKey.h"

namespace murmeli::hooks {

using common::LogColor;

ApprovalRoad::ApprovalRoad(hooks::PendingRequestTable& table, common::Clock& clock) : m_table(table), m_clock(clock) { }

void ApprovalRoad::setBridge(std::shared_ptr<hooks::ApprovalBridge> bridge)
{
    m_bridge = bridge ? std::move(bridge) : std::make_shared<hooks::NullApprovalBridge>();
}

void ApprovalRoad::installTableHandlers()
{
    m_table.onActivate = [this](hooks::ApprovalRequest request) { return announceActivation(std::move(request)); };
    m_table.onWarning = [this](hooks::ApprovalRequest request) { return announceWarning(std::move(request)); };
    m_table.onExpire = [this](hooks::ApprovalRequest request) { return dropExpired(std::move(request)); };
}

QCoro::Task<std::optional<QString>> ApprovalRoad::reply(
    QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held)
{
    if (eventName != hooks::toString(hooks::HookEventType::PermissionRequest)) {
        co_return std::nullopt;
    }
    std::optional<hooks::ApprovalRequest> request = hooks::ApprovalSerialization::parseRequest(payload, m_clock.now());
    if (!request) {
        if (onParseFailure) {
            onParseFailure();
        }
        QStringList keys = payload.keys();
        keys.sort();
        onLog(QStringLiteral("[diag] parseRequest FAILED keys=[") + keys.join(QLatin1Char(','))
                + QStringLiteral("] — Claude Code schema 漂移?"),
            LogColor::Red);
        co_return std::nullopt;
    }
    request->sessionId = sessionOf(payload);
    const QString agent = payload.value(QStringLiteral("_murmeli_adapter")).toString();
    const QString sessionId = hooks::SessionKey::payloadSessionId(payload);
    // Claude Code's scripts name an adapter of no row, and keep their allows as every agent of its layout does.
    const hooks::AgentAdapter* adapter = hooks::AgentAdapters::withAgent(agent);
    const bool agentKeepsAllows = !adapter || adapter->takesPermissionUpdates;
    if (m_sessionAllows.allows(agent, sessionId, request->toolName)) {
        onLog(QStringLiteral("[approval-diag] ") + request->toolUseId + QStringLiteral(" → allow: ") + request->toolName
                + QStringLiteral(" is allowed for the rest of session ") + request->sessionId,
            LogColor::Blue);
        co_return hooks::ApprovalSerialization::responseBody(
            hooks::ApprovalDecision::allow(hooks::PermissionScope::Once), request->toolName, agentKeepsAllows);
    }
    // A client that leaves (the user answered in the agent's own prompt, or the hook was killed) must not keep
    // its request on show or the requests behind it waiting.
    held->onClosed = [this, id = request->toolUseId] { dropAbandoned(id); };
    const hooks::ApprovalDecision decision = co_await m_table.enqueue(*request);
    onLog(QStringLiteral("[approval-diag] ") + request->toolUseId + QStringLiteral(" → ") + hooks::describe(decision),
        LogColor::Blue);
    // However it ended (the panel, the device, the time-out, the agent), its prompt goes in the same turn; a
    // duplicate that was turned away leaves the held request's prompt alone.
    if (!m_table.isHeld(request->toolUseId)) {
        const std::shared_ptr<hooks::ApprovalBridge> bridge = m_bridge;
        co_await bridge->cancelPending(request->toolUseId);
    }
    const bool allowedForTheSession = decision.kind() == hooks::ApprovalDecision::Kind::Allow
        && decision.scope() == hooks::PermissionScope::Session && decision.rule().value_or(QString()).isEmpty();
    if (!agentKeepsAllows && allowedForTheSession && m_sessionAllows.allow(agent, sessionId, request->toolName)) {
        onLog(QStringLiteral("[approval-diag] ") + agent + QStringLiteral(" cannot keep an allow; murmeli allows ")
                + request->toolName + QStringLiteral(" for the rest of session ") + request->sessionId,
            LogColor::Blue);
    }
    co_return hooks::ApprovalSerialization::responseBody(decision, request->toolName, agentKeepsAllows);
}

void ApprovalRoad::settleOvertaken(const QString& eventName, const QJsonObject& payload)
{
    using hooks::HookEventType;
    const std::optional<HookEventType> type = hooks::hookEventTypeFromString(eventName);
    const bool cancelled = eventName == QLatin1String(hooks::interruptEventName);
    const bool toolFinished = type == HookEventType::PostToolUse || type == HookEventType::PostToolUseFailure;
    const bool sessionMovedOn = cancelled || type == HookEventType::Stop || type == HookEventType::UserPromptSubmit
        || type == HookEventType::SessionEnd;
    // A compaction starts the same session again and keeps what the user allowed in it.
    const bool sessionRestarted = type == HookEventType::SessionStart
        && payload.value(QStringLiteral("source")).toString() != QLatin1String("compact");
    if (sessionRestarted || type == HookEventType::SessionEnd) {
        m_sessionAllows.forget(hooks::SessionKey::payloadSessionId(payload));
    }
    if (!toolFinished && !sessionMovedOn) {
        return;
    }
    const QString session = sessionOf(payload);
    if (session.isEmpty()) {
        return;
    }
    const QString toolName = payload.value(QStringLiteral("tool_name")).toString();
    const QByteArray toolInput = hooks::ApprovalSerialization::toolInputJSON(payload);
    for (const hooks::ApprovalRequest& request : m_table.heldRequestsOf(session)) {
        if (toolFinished && (request.toolName != toolName || request.rawInputJSON != toolInput)) {
            continue;
        }
        onLog(QStringLiteral("[approval-diag] ") + eventName + QStringLiteral(" shows the agent past ")
                + request.toolUseId
                + (cancelled ? QStringLiteral(" (cancelled in its terminal); failing open")
                             : QStringLiteral(" (answered in its terminal); failing open")),
            LogColor::Blue);
        // The hook still waits and gets the neutral reply, which the agent no longer reads; its card goes with it.
        m_table.resolve(request.toolUseId, hooks::ApprovalDecision::failOpen());
    }
}

void ApprovalRoad::sessionEnded(const QString& sessionId)
{
    m_sessionAllows.forget(sessionId);
}

QString ApprovalRoad::sessionOf(const QJsonObject& payload) const
{
    return sessionKeyOf ? sessionKeyOf(payload) : hooks::ApprovalSerialization::requestSessionId(payload);
}

QCoro::Task<> ApprovalRoad::announceActivation(hooks::ApprovalRequest request)
{
    onLog(QStringLiteral("[approval-diag] awaiting decision for ") + request.toolName + QStringLiteral(": ")
            + request.commandPreview + QStringLiteral(" (") + request.toolUseId + QLatin1Char(')'),
        LogColor::Blue);
    const std::shared_ptr<hooks::ApprovalBridge> bridge = m_bridge;
    co_await bridge->requestApproval(request);
    if (onActivated) {
        co_await onActivated(std::move(request));
    }
}

QCoro::Task<> ApprovalRoad::announceWarning(hooks::ApprovalRequest request)
{
    onLog(QStringLiteral("[approval-diag] still waiting on ") + request.toolUseId, LogColor::Orange);
    const std::shared_ptr<hooks::ApprovalBridge> bridge = m_bridge;
    co_await bridge->signalWarning(std::move(request));
}

QCoro::Task<> ApprovalRoad::dropAbandoned(QString toolUseId)
{
    onLog(QStringLiteral("[approval-diag] client left before a decision; failing open ") + toolUseId, LogColor::Blue);
    // Nothing is sent for it: nobody listens on that connection any more. Its card goes as the reply ends.
    m_table.resolve(toolUseId, hooks::ApprovalDecision::failOpen());
    co_return;
}

QCoro::Task<> ApprovalRoad::dropExpired(hooks::ApprovalRequest request)
{
    // Its card went as its reply ended.
    onLog(
        QStringLiteral("[approval-diag] held too long for its hook to take a reply; failed open ") + request.toolUseId,
        LogColor::Orange);
    co_return;
}

} // namespace murmeli::hooks
