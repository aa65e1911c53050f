#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <QCoroTask>

#include "main/hooks/install/AgentAdapter.h"
#include "main/hooks/sessions/SessionFolders.h"
#include "main/hooks/terminals/AgentProcessId.h"
#include "main/hooks/terminals/ProcessTable.h"

namespace murmeli::hooks {

/// The agent command-line tools discovery recognises: every agent of the adapter table, by the names its tool runs
/// as.
using AgentCLI = AgentAdapter::ID;

/// One running agent and where it lives. Discovery never fills windowId or tabId.
struct AgentProcess final {
    QString pid;
    QString ppid;
    std::optional<QString> tty {}; // "/dev/" + the terminal name
    std::optional<QString> cwd {};
    AgentCLI cliKind = AgentCLI::ClaudeCode;
    std::optional<QString> terminalApp {};
    std::optional<QString> windowId {};
    std::optional<QString> tabId {};

    friend bool operator==(const AgentProcess&, const AgentProcess&) = default;
};

/// Finds the agent tools running on this machine from one process listing, with each one's terminal device, working
/// directory and host terminal application. Holds no state of its own: copies may run on any thread at once.
class ProcessDiscovery final {
public:
    /// A command's standard output as text, or nullopt when it could not run, ran too long or was not UTF-8.
    using RunCommand = ProcessTable::RunCommand;
    /// A process's working directory read straight from the kernel, or nullopt.
    using WorkingDirectorySource = std::function<std::optional<QString>(const QString& pid)>;

    /// How long one child of the default runner may run before it is killed.
    static constexpr int commandTimeLimitMs = 5000;

    explicit ProcessDiscovery(RunCommand runner = &ProcessDiscovery::defaultRunner);

    /// Every agent process, in the order of the process listing; empty when the listing cannot be had. Blocks while
    /// the children run, so keep it off the main thread.
    std::vector<AgentProcess> discoverAll() const;

    /// The agent processes of a table already read, in its order; asks the system only for working directories.
    std::vector<AgentProcess> discoverIn(const ProcessTable& table) const;

    /// The first agent of discoverAll(). The pid does not narrow the choice; it is the frontmost terminal's, kept
    /// for the caller's sake.
    std::optional<AgentProcess> discoverActiveAgent(std::optional<qint64> frontmostTerminalPid) const;

    /// The agent of a session among those found: its own process (SessionAgentFinder), while that runs; else the one
    /// in the first of the session's agentFolders() that one runs in, as two agents in one folder, or a shell tool
    /// gone into another agent's folder, can only be told apart by their processes. The folders are matched as given
    /// against the processes' own, which the kernel gives resolved. nullopt when none fits.
    static std::optional<AgentProcess> agentOfSession(const std::vector<AgentProcess>& agents,
        const SessionFolders& folders, const std::optional<AgentProcessId>& known = std::nullopt);

    /// discoverAll() on a worker thread; resumes on the caller's thread with the same result.
    QCoro::Task<std::vector<AgentProcess>> discoverAllAsync() const;

    /// Runs the program with the arguments, never through a shell, draining both channels and killing it after
    /// commandTimeLimitMs. Blocks its thread.
    static std::optional<QString> defaultRunner(const QString& program, const QStringList& args);

    /// The target of /proc/<pid>/cwd; nullopt for a pid that is not all digits or a link that cannot be read.
    static std::optional<QString> procWorkingDirectory(const QString& pid);

    RunCommand runCommand;
    WorkingDirectorySource kernelWorkingDirectory = &ProcessDiscovery::procWorkingDirectory;

private:
    std::optional<QString> workingDirectory(const QString& pid) const;
};

} // namespace murmeli::hooks
