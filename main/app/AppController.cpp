#include "main/app/AppController.h"

#include "main/hooks/ApprovalSerialization.h"
#include "main/hooks/HookEventType.h"

namespace murmeli::app {

using common::LogColor;

AppController::AppController(Dependencies dependencies)
    : m_dependencies(std::move(dependencies))
    , m_statusDirectory(m_dependencies.statusDirectory)
    , m_sessionRegistry(m_statusDirectory, *m_dependencies.clock, m_dependencies.legacyStatusPath)
    , m_sessionFiles(m_statusDirectory)
    , m_hookDispatcher(m_sessionRegistry, m_sessionFiles, *m_dependencies.clock)
    , m_keychain(m_dependencies.secrets)
    , m_hookServer(std::make_unique<hooks::HookServer>(m_keychain))
    , m_pendingTable(std::make_unique<hooks::PendingRequestTable>(*m_dependencies.clock))
    , m_approvalBridge(std::make_shared<hooks::NullApprovalBridge>())
{
}

AppController::~AppController()
{
    // Tearing down answers held requests, which would log into an owner that may already be gone.
    onLog = nullptr;
    // The server goes first so no reply is written for requests the table fails open on its way out.
    m_hookServer.reset();
    m_pendingTable.reset();
}

void AppController::setApprovalBridge(std::shared_ptr<hooks::ApprovalBridge> bridge)
{
    m_approvalBridge = bridge ? std::move(bridge) : std::make_shared<hooks::NullApprovalBridge>();
}

void AppController::log(const QString& message, LogColor color)
{
    if (onLog) {
        onLog(message, color);
    }
}

void AppController::startBackend(const QString& binaryPath)
{
    if (m_backendStarted) {
        return;
    }
    m_backendStarted = true;
    Q_UNUSED(binaryPath)

    // Before anything else: sessions of earlier runs whose agents are gone would otherwise be listed again.
    hooks::SessionRegistry::cleanupStaleFiles(m_statusDirectory, m_dependencies.processList);
    QString problem;
    if (!m_statusDirectory.prepare(&problem)) {
        log(QStringLiteral("[diag] startup: status directory refused, session files are neither read nor written: ")
                + problem,
            LogColor::Red);
    }
    m_sessionRegistry.onLog = [this](const QString& line) { log(line, LogColor::Orange); };
    m_hookDispatcher.onLog = [this](const QString& message, LogColor color) { log(message, color); };

    m_hookServer->onLog = [this](const QString& line) {
        log(line, line.startsWith(QLatin1String("HookServer: failed")) ? LogColor::Red : LogColor::Grey);
    };
    m_hookServer->onEvent = [this](const QString& eventName, const QJsonObject& payload) {
        handleHookEvent(eventName, payload);
    };
    m_hookServer->asyncEventResponse = [this](QString eventName, QJsonObject payload,
                                           std::shared_ptr<hooks::HeldRequest> held) {
        return permissionReply(std::move(eventName), std::move(payload), std::move(held));
    };
    installPendingTableHandlers();
    m_hookServer->start(m_dependencies.hookPort, std::nullopt, false);
    m_fileWatcher.start(m_statusDirectory.path(), [this] { statusChanged(); });
    m_sessionRegistry.refresh();
}

void AppController::statusChanged()
{
    if (onStatusChange) {
        onStatusChange();
    }
}

void AppController::clearNotify()
{
    const auto selected = m_sessionRegistry.selected();
    m_sessionFiles.clearNotify(selected ? selected->sid8 : QString());
}

void AppController::installPendingTableHandlers()
{
    m_pendingTable->onActivate = [this](hooks::ApprovalRequest request) { return announceActivation(std::move(request)); };
    m_pendingTable->onWarning = [this](hooks::ApprovalRequest request) { return announceWarning(std::move(request)); };
}

QCoro::Task<std::optional<QString>> AppController::permissionReply(
    QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held)
{
    if (eventName != hooks::toString(hooks::HookEventType::PermissionRequest)) {
        co_return std::nullopt;
    }
    const std::optional<hooks::ApprovalRequest> request = hooks::ApprovalSerialization::parseRequest(payload);
    if (!request) {
        m_hookServer->notifyParseFailure();
        QStringList keys = payload.keys();
        keys.sort();
        log(QStringLiteral("[diag] parseRequest FAILED keys=[") + keys.join(QLatin1Char(','))
                + QStringLiteral("] — Claude Code schema 漂移?"),
            LogColor::Red);
        co_return std::nullopt;
    }
    // A client that leaves (the user answered in the agent's own prompt, or the hook was killed) must not keep
    // its request on show or the requests behind it waiting.
    held->onClosed = [this, id = request->toolUseId] { dropAbandoned(id); };
    const hooks::ApprovalDecision decision = co_await m_pendingTable->enqueue(*request);
    log(QStringLiteral("[approval-diag] ") + request->toolUseId + QStringLiteral(" → ") + hooks::describe(decision),
        LogColor::Blue);
    co_return hooks::ApprovalSerialization::responseBody(decision, request->toolName);
}

QCoro::Task<> AppController::announceActivation(hooks::ApprovalRequest request)
{
    log(QStringLiteral("[approval-diag] awaiting decision for ") + request.toolName + QStringLiteral(": ")
            + request.commandPreview + QStringLiteral(" (") + request.toolUseId + QLatin1Char(')'),
        LogColor::Blue);
    const std::shared_ptr<hooks::ApprovalBridge> bridge = m_approvalBridge;
    co_await bridge->requestApproval(std::move(request));
}

QCoro::Task<> AppController::announceWarning(hooks::ApprovalRequest request)
{
    log(QStringLiteral("[approval-diag] still waiting on ") + request.toolUseId, LogColor::Orange);
    const std::shared_ptr<hooks::ApprovalBridge> bridge = m_approvalBridge;
    co_await bridge->signalWarning(std::move(request));
}

QCoro::Task<> AppController::dropAbandoned(QString toolUseId)
{
    log(QStringLiteral("[approval-diag] client left before a decision; failing open ") + toolUseId, LogColor::Blue);
    // Nothing is sent for it: nobody listens on that connection any more.
    m_pendingTable->resolve(toolUseId, hooks::ApprovalDecision::failOpen());
    const std::shared_ptr<hooks::ApprovalBridge> bridge = m_approvalBridge;
    co_await bridge->cancelPending(std::move(toolUseId));
}

void AppController::handleHookEvent(const QString& eventName, const QJsonObject& payload)
{
    if (m_hookDispatcher.dispatch(eventName, payload)) {
        statusChanged();
    }
}

} // namespace murmeli::app
