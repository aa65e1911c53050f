#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QtGlobal>

#include "main/hooks/sessions/SessionFolders.h"
#include "main/hooks/terminals/AgentProcessId.h"

namespace murmeli::hooks {

/// One process as the kernel shows it: enough to tell an agent's own process from a server its sessions share.
struct ProcessFacts final {
    AgentProcessId id;
    QString name; // the kernel's short name of its executable
    bool hasTerminal = false;
    std::optional<QString> cwd {};
    QString commandLine {}; // its arguments, joined by spaces
    qint64 startedMs = 0; // when it started, in milliseconds since 1970

    friend bool operator==(const ProcessFacts&, const ProcessFacts&) = default;
};

/// Finds a session's own agent process where the process its hook events come from is not it. An agent may run the
/// hooks of all its sessions from one background server without a terminal (Codex's shared app server, which its
/// first terminal session starts); the process of a session is then the one of the same name, with a terminal,
/// working in the session's folder. Where two of them work in one folder, a process that another session already
/// holds is not this one's; of the rest, the one whose command line names the session (a resumed session), else the
/// one started last before the session was made (an id that tells its time), else the one started last.
class SessionAgentFinder final {
public:
    /// What is known of a session when one of its hook events comes.
    struct Session {
        QString id; // the agent's full session id
        SessionFolders folders;
        std::optional<AgentProcessId> current; // the process found for it before
        std::vector<AgentProcessId> heldByOthers; // the processes of the other listed sessions
    };

    /// One process; nullopt when there is none with that pid.
    using ProcessReader = std::function<std::optional<ProcessFacts>(qint64 pid)>;
    /// Every process of the machine with that short name.
    using ProcessLister = std::function<std::vector<ProcessFacts>(const QString& name)>;

    /// The session's own agent, given the process its latest hook event named: that process where it has a terminal
    /// (an agent that runs its hooks itself); the process found before while it still runs; else choose() among all
    /// processes; else the named process, as before.
    AgentProcessId ownAgent(const AgentProcessId& named, const Session& session) const;

    /// The session's own process among processes, for a named process without a terminal; nullopt when none fits.
    static std::optional<ProcessFacts> choose(
        const ProcessFacts& named, const std::vector<ProcessFacts>& processes, const Session& session);

    /// The time in an id of UUID version 7 (milliseconds since 1970, in its first twelve hex digits); nullopt for
    /// any other id.
    static std::optional<qint64> idCreatedMs(const QString& sessionId);

    /// From /proc.
    static std::optional<ProcessFacts> kernelProcess(qint64 pid);
    static std::vector<ProcessFacts> kernelProcesses(const QString& name);

    ProcessReader readProcess = &SessionAgentFinder::kernelProcess;
    ProcessLister listProcesses = &SessionAgentFinder::kernelProcesses;
};

} // namespace murmeli::hooks
