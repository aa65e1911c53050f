#include "main/hooks/terminals/TerminalJump.h"

#include <algorithm>
#include <vector>

#include <QCoroFuture>
#include <QPointer>

#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/terminals/TerminalWindowLocator.h"

namespace murmeli::hooks {

using common::LogColor;
using hooks::TeleportResult;

TerminalJump::TerminalJump(hooks::ProcessDiscovery& discovery, hooks::TeleportTargetResolver& resolver,
    hooks::StatusDirectory statusDirectory, common::Clock& clock)
    : m_discovery(discovery), m_resolver(resolver), m_statusDirectory(std::move(statusDirectory)), m_clock(clock)
{
}

QCoro::Task<TeleportResult> TerminalJump::teleportToSession(
    QString sid, hooks::SessionFolders fromHooks, std::optional<hooks::SessionAgentFinder::Verdict> own)
{
    const auto directory = m_statusDirectory.open();
    const auto status = directory ? hooks::ClaudeStatus::read(sid, *directory, m_clock.now()) : std::nullopt;
    hooks::SessionFolders folders = fromHooks;
    if (status && !status->cwd.isEmpty()) {
        folders = { status->cwd, status->projectDir.isEmpty() ? fromHooks.project : status->projectDir };
    }
    if (own && own->untold) {
        onLog(own->undecided.empty()
                ? QStringLiteral("Jump: cannot tell which terminal is session %1's: its hooks run under pid %2, which "
                                 "has no terminal, and no process proves it its own")
                      .arg(sid, own->server.pidText())
                : QStringLiteral("Jump: cannot tell which terminal is session %1's: agents %2 may each be")
                      .arg(sid, own->undecidedPids()),
            LogColor::Orange);
        co_return TeleportResult::Undecided;
    }
    const std::optional<hooks::AgentProcessId> agent = own ? std::optional(own->agent) : std::nullopt;
    if (folders.agentFolders().isEmpty() && !agent) {
        onLog(QStringLiteral("Jump: no working directory known for session ") + sid, LogColor::Orange);
        co_return TeleportResult::TerminalClosed;
    }
    QPointer<QObject> alive = m_lifetime.get();
    const std::vector<hooks::AgentProcess> processes = co_await m_discovery.discoverAllAsync();
    if (!alive) {
        co_return TeleportResult::TerminalClosed;
    }
    const std::optional<hooks::AgentProcess> process
        = hooks::ProcessDiscovery::agentOfSession(processes, folders, agent);
    if (!process) {
        onLog(folders.agentFolders().isEmpty()
                ? QStringLiteral("Jump: no agent process found for session ") + sid
                : QStringLiteral("Jump: no agent process found in %1 or the folders above it")
                      .arg(folders.agentFolders().constFirst()),
            LogColor::Orange);
        co_return TeleportResult::TerminalClosed;
    }
    hooks::AgentSession session;
    session.terminalApp = process->terminalApp;
    session.workingDirectory = process->cwd;
    session.terminalTTY = process->tty;
    if (!m_resolver.resolve(session) && m_locator) {
        co_return co_await activateWindowOf(*process);
    }
    if (!m_resolver.resolve(session)) {
        onLog(QStringLiteral("Jump: terminal %1 is not supported")
                  .arg(process->terminalApp.value_or(QStringLiteral("unknown"))),
            LogColor::Orange);
        co_return TeleportResult::Unsupported;
    }
    const TeleportResult result = co_await m_resolver.teleport(session);
    if (!alive) {
        co_return result;
    }
    const QString terminal = session.terminalApp.value_or(QString());
    switch (result) {
    case TeleportResult::Success:
        onLog(QStringLiteral("Jump: brought %1 to the front").arg(terminal), LogColor::Grey);
        break;
    case TeleportResult::Timeout:
        onLog(QStringLiteral("Jump: the terminal did not answer within 3 s"), LogColor::Orange);
        break;
    case TeleportResult::PermissionDenied:
        onLog(QStringLiteral("Jump: murmeli is not allowed to control %1; grant it automation access in the system's "
                             "privacy settings")
                  .arg(terminal),
            LogColor::Orange);
        break;
    case TeleportResult::TerminalClosed:
        onLog(QStringLiteral("Jump: %1 is not running").arg(terminal), LogColor::Orange);
        break;
    case TeleportResult::Unsupported:
        onLog(QStringLiteral("Jump: Warp is not supported yet"), LogColor::Orange);
        break;
    case TeleportResult::Undecided:
        // A teleporter is given one terminal and never answers this.
        break;
    }
    co_return result;
}

QCoro::Task<TeleportResult> TerminalJump::activateWindowOf(hooks::AgentProcess process)
{
    // The locator may be replaced while the jump waits; this one lives until the jump is done.
    const std::shared_ptr<TerminalWindowLocator> locator = m_locator;
    QPointer<QObject> alive = m_lifetime.get();
    const std::optional<platform::WindowId> window = co_await locator->locate(process);
    if (!alive) {
        co_return TeleportResult::TerminalClosed;
    }
    if (!window) {
        onLog(QStringLiteral("Jump: no window shows the terminal of agent %1").arg(process.pid), LogColor::Orange);
        co_return TeleportResult::TerminalClosed;
    }
    const bool activated = co_await locator->windows().activate(*window, std::chrono::milliseconds(2000));
    if (!alive) {
        co_return activated ? TeleportResult::Success : TeleportResult::Timeout;
    }
    if (!activated) {
        onLog(QStringLiteral("Jump: the window manager did not bring window 0x%1 to the front")
                  .arg(QString::number(*window, 16)),
            LogColor::Orange);
        co_return TeleportResult::Timeout;
    }
    onLog(QStringLiteral("Jump: brought window 0x%1 of %2 to the front")
              .arg(QString::number(*window, 16), process.terminalApp.value_or(QStringLiteral("the terminal"))),
        LogColor::Grey);
    co_return TeleportResult::Success;
}

} // namespace murmeli::hooks
