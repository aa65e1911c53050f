#pragma once

#include <memory>

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/terminals/AgentProcessId.h"
#include "main/hooks/terminals/ProcessDiscovery.h"
#include "main/hooks/terminals/SessionAgentFinder.h"
#include "main/hooks/terminals/TeleportTargetResolver.h"

namespace murmeli::hooks {

class TerminalWindowLocator;

/// Brings the terminal tab that runs a session's agent to the front, and says in the log what happened.
class TerminalJump final {
public:
    TerminalJump(hooks::ProcessDiscovery& discovery, hooks::TeleportTargetResolver& resolver,
        hooks::StatusDirectory statusDirectory, common::Clock& clock);
    TerminalJump(const TerminalJump&) = delete;
    TerminalJump& operator=(const TerminalJump&) = delete;

    common::LogSink onLog;

    /// Finds the session's agent and asks its terminal to show the tab: its own agent process as SessionAgentFinder
    /// tells it while that runs, else the agent where the session works (SessionFolders::agentFolders()). Where the
    /// finder cannot tell which of several terminals is the session's, none is brought forward. The folders come
    /// from the session's status file; where it has none, from its hook events.
    QCoro::Task<hooks::TeleportResult> teleportToSession(QString sid, hooks::SessionFolders fromHooks = {},
        std::optional<hooks::SessionAgentFinder::Verdict> agent = std::nullopt);

    /// Where no terminal of its own is known for the agent (the terminals of Linux, an agent inside tmux), the window
    /// that shows it is found on the desktop and activated; without a locator such a terminal is not supported.
    void setWindowLocator(std::shared_ptr<TerminalWindowLocator> locator) { m_locator = std::move(locator); }

private:
    QCoro::Task<hooks::TeleportResult> activateWindowOf(hooks::AgentProcess process);

    hooks::ProcessDiscovery& m_discovery;
    hooks::TeleportTargetResolver& m_resolver;
    hooks::StatusDirectory m_statusDirectory;
    common::Clock& m_clock;
    std::shared_ptr<TerminalWindowLocator> m_locator;
    // Guards the jump across its waits: it stops when the owner is gone.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::hooks
