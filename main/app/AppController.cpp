#include "main/app/AppController.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QProcessEnvironment>

#include "main/common/ProcessRunner.h"
#include "main/hooks/approvals/ApprovalSerialization.h"
#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/sessions/StaleFileCleanup.h"
#include "main/settings/CLIAdapter.h"

namespace murmeli::app {

using common::LogColor;

AppController::AppController(Dependencies dependencies)
    : m_dependencies(std::move(dependencies)), m_statusDirectory(m_dependencies.statusDirectory),
      m_sessionRegistry(m_statusDirectory, *m_dependencies.clock, m_dependencies.legacyStatusPath),
      m_sessionFiles(m_statusDirectory), m_hookDispatcher(m_sessionRegistry, m_sessionFiles, *m_dependencies.clock),
      m_tokenStore(*m_dependencies.defaults), m_keychain(m_dependencies.secrets),
      m_hookServer(std::make_unique<hooks::HookServer>(m_keychain)),
      m_pendingTable(std::make_unique<hooks::PendingRequestTable>(*m_dependencies.clock)),
      m_approvalBridge(std::make_shared<hooks::NullApprovalBridge>())
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

    // Sessions of earlier runs whose agents are gone would otherwise be listed again. It runs while the rest
    // starts; the watcher reports its deletions.
    hooks::StaleFileCleanup::run(m_statusDirectory, m_dependencies.processTable);
    QString problem;
    if (!m_statusDirectory.prepare(&problem)) {
        log(QStringLiteral("[diag] startup: status directory refused, session files are neither read nor written: ")
                + problem,
            LogColor::Red);
    }
    m_sessionRegistry.onLog = [this](const QString& line) { log(line, LogColor::Orange); };
    m_hookDispatcher.onLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_sessionFiles.onLog = [this](const QString& message, LogColor color) { log(message, color); };

    m_hookServer->onLog = [this](const QString& line) {
        log(line, line.startsWith(QLatin1String("HookServer: failed")) ? LogColor::Red : LogColor::Grey);
    };
    m_hookServer->onEvent
        = [this](const QString& eventName, const QJsonObject& payload) { handleHookEvent(eventName, payload); };
    m_hookServer->asyncEventResponse
        = [this](QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held) {
              return permissionReply(std::move(eventName), std::move(payload), std::move(held));
          };
    m_hookServer->heldEvents.clear();
    for (const hooks::HookEventDescriptor& row : hooks::HookEventManifest::all()) {
        if (row.requiresAsyncResponse) {
            m_hookServer->heldEvents.insert(hooks::toString(row.name));
        }
    }
    installPendingTableHandlers();
    m_hookServer->start(m_dependencies.hookPort, std::nullopt, false);
    m_fileWatcher.start(m_statusDirectory.path(), [this] { statusChanged(); });
    m_sessionRegistry.refresh();

    const QString settingsPath = m_dependencies.agentSettingsPath.isEmpty() ? hooks::StatusFiles::agentSettingsPath()
                                                                            : m_dependencies.agentSettingsPath;
    hooks::HookSelfCheck::emit(
        hooks::HookSelfCheck::run(settingsPath), [this](const QString& line) { log(line, LogColor::Orange); });
}

std::optional<hooks::ClaudeStatus> AppController::syncSessions()
{
    m_sessionRegistry.refresh();
    const auto selected = m_sessionRegistry.selected();
    auto status = hooks::ClaudeStatus::read(
        selected ? std::optional(selected->sid8.text()) : std::nullopt, m_statusDirectory.path());
    if (!status) {
        return std::nullopt;
    }
    if (!status->transcriptPath.isEmpty()) {
        m_transcriptWatcher.watch(status->transcriptPath);
    }
    m_burnRate.update(status->contextPercent, m_dependencies.clock->now());
    return status;
}

QCoro::Task<hooks::TeleportResult> AppController::teleportToSession(QString sid)
{
    using hooks::TeleportResult;
    const auto status = hooks::ClaudeStatus::read(sid, m_statusDirectory.path());
    if (!status || status->cwd.isEmpty()) {
        log(QStringLiteral("Jump: no working directory known for session ") + sid, LogColor::Orange);
        co_return TeleportResult::TerminalClosed;
    }
    QPointer<QObject> alive = m_lifetime.get();
    const std::vector<hooks::AgentProcess> processes = co_await m_processDiscovery.discoverAllAsync();
    if (!alive) {
        co_return TeleportResult::TerminalClosed;
    }
    const auto process = std::find_if(processes.begin(), processes.end(),
        [&](const hooks::AgentProcess& p) { return p.cwd && *p.cwd == status->cwd; });
    if (process == processes.end()) {
        log(QStringLiteral("Jump: no agent process found in ") + status->cwd, LogColor::Orange);
        co_return TeleportResult::TerminalClosed;
    }
    hooks::AgentSession session;
    session.terminalApp = process->terminalApp;
    session.workingDirectory = process->cwd;
    session.terminalTTY = process->tty;
    if (!m_teleportResolver.resolve(session)) {
        log(QStringLiteral("Jump: terminal %1 is not supported")
                .arg(process->terminalApp.value_or(QStringLiteral("unknown"))),
            LogColor::Orange);
        co_return TeleportResult::Unsupported;
    }
    const TeleportResult result = co_await m_teleportResolver.teleport(session);
    if (!alive) {
        co_return result;
    }
    switch (result) {
    case TeleportResult::Success:
        log(QStringLiteral("Jump: brought %1 to the front").arg(session.terminalApp.value_or(QString())),
            LogColor::Grey);
        break;
    case TeleportResult::Timeout:
        log(QStringLiteral("Jump: the terminal did not answer within 3 s"), LogColor::Orange);
        break;
    case TeleportResult::PermissionDenied:
        log(QStringLiteral("Jump: murmeli is not allowed to control %1; grant it automation access in the system's "
                           "privacy settings")
                .arg(session.terminalApp.value_or(QString())),
            LogColor::Orange);
        break;
    case TeleportResult::TerminalClosed:
        log(QStringLiteral("Jump: %1 is not running").arg(session.terminalApp.value_or(QString())), LogColor::Orange);
        break;
    case TeleportResult::Unsupported:
        log(QStringLiteral("Jump: Warp is not supported yet"), LogColor::Orange);
        break;
    }
    co_return result;
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
    m_sessionFiles.clearNotify(selected ? std::optional(selected->sid8) : std::nullopt);
}

void AppController::installPendingTableHandlers()
{
    m_pendingTable->onActivate
        = [this](hooks::ApprovalRequest request) { return announceActivation(std::move(request)); };
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
    if (!m_hookDispatcher.dispatch(eventName, payload)) {
        return;
    }
    // Events arrive in bursts; their files are written once the burst has been taken in.
    if (!m_flushScheduled) {
        m_flushScheduled = true;
        QMetaObject::invokeMethod(
            m_lifetime.get(),
            [this] {
                m_flushScheduled = false;
                m_hookDispatcher.flush();
                statusChanged();
            },
            Qt::QueuedConnection);
    }
}

QString AppController::executablePath() const
{
    return m_dependencies.executablePath.isEmpty() ? QCoreApplication::applicationFilePath()
                                                   : m_dependencies.executablePath;
}

void AppController::installHooks()
{
    runInstaller();
}

QCoro::Task<> AppController::runInstaller()
{
    QPointer<QObject> alive = m_lifetime.get();
    const auto fail = [this](const QString& message) {
        // Delivered from the event loop, never from inside the caller's own call.
        QMetaObject::invokeMethod(
            m_lifetime.get(),
            [this, message] {
                if (onHooksFailed) {
                    onHooksFailed(message);
                }
            },
            Qt::QueuedConnection);
    };
    const settings::CLIAdapter& claude = settings::CLIAdapter::allCases().front();
    const auto script = claude.installScriptPath(executablePath());
    if (!script) {
        const QStringList candidates = claude.scriptCandidatePaths(executablePath());
        fail(QStringLiteral("install-hooks.sh not found at:\n") + candidates.value(0));
        co_return;
    }
    common::ProcessRequest request;
    request.program = QStringLiteral("/bin/bash");
    request.arguments = { *script };
    request.timeout = std::chrono::seconds(60);
    request.environment = QProcessEnvironment::systemEnvironment();
    request.environment.insert(QStringLiteral("MURMELI_BIN"), executablePath());
    const common::ProcessResult result = co_await common::runProcess(request);
    if (!alive) {
        co_return;
    }
    if (result.succeeded()) {
        log(QStringLiteral("Hooks: installed for Claude Code"), LogColor::Green);
        QMetaObject::invokeMethod(
            m_lifetime.get(),
            [this] {
                if (onHooksInstalled) {
                    onHooksInstalled();
                }
            },
            Qt::QueuedConnection);
        co_return;
    }
    QString message = !result.started ? result.errorText
                                      : QString::fromUtf8(result.standardOutput + result.standardError).trimmed();
    if (message.isEmpty()) {
        message = QStringLiteral("install-hooks.sh exited with error.");
    }
    log(QStringLiteral("Hooks: install failed: ") + message, LogColor::Red);
    fail(message);
}

} // namespace murmeli::app
