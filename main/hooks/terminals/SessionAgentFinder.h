#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <QCoroTask>

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

/// Which process is a session's own agent, the one place that says so: the hook events' dispatcher, the terminal
/// jump and, through the session's record, the hook scripts ask it.
///
/// An agent may run the hooks of all its sessions from one background server without a terminal (Codex's shared app
/// server, which its first terminal session starts). That server is certain; a process of its name with a terminal,
/// working in the session's folder, is the session's own only where that is proven: its command line names the
/// session (a resumed session), or it is the one such process there that no other listed session holds while no
/// other session of that server works there. Where nothing tells them apart none is taken: the server stays the
/// session's process (its end ends the session; the end of a process that only might have been its own ends
/// nothing), and the jump says it cannot tell. What the processes are is looked up once per session and server, off
/// the caller's thread, and kept until the server ends; a proven process is kept until it ends.
class SessionAgentFinder final {
public:
    /// Another listed session: the process murmeli holds as its own, and where it works.
    struct OtherSession {
        AgentProcessId agent;
        SessionFolders folders {};
    };
    /// What is known of a session when one of its hook events comes, or its terminal is asked for.
    struct Session {
        QString id; // the agent's full session id
        SessionFolders folders {};
        std::optional<AgentProcessId> current {}; // the process held as its own so far
        std::vector<OtherSession> others {}; // the other listed sessions
    };
    /// A session's own agent as far as it can be told.
    struct Verdict {
        AgentProcessId agent; // its own process; where none is proven, the process its hooks named
        std::vector<AgentProcessId> undecided {}; // those that may each be its own where nothing tells which

        /// The pids of the undecided ones as a log line names them: "4100, 4200".
        QString undecidedPids() const;
        friend bool operator==(const Verdict&, const Verdict&) = default;
    };

    /// One process; nullopt when there is none with that pid.
    using ProcessReader = std::function<std::optional<ProcessFacts>(qint64 pid)>;
    /// Every process of the machine with that short name. Called off the owner's thread.
    using ProcessLister = std::function<std::vector<ProcessFacts>(const QString& name)>;

    /// Sessions and servers whose look through the processes is kept; beyond it those of servers that ended go.
    static constexpr std::size_t keptLookups = 256;

    SessionAgentFinder() = default;
    SessionAgentFinder(const SessionAgentFinder&) = delete;
    SessionAgentFinder& operator=(const SessionAgentFinder&) = delete;

    /// On the owner's thread, once a look through the processes for the session has ended: ownAgent() now answers
    /// from it.
    std::function<void(const QString& sessionId)> onLookedUp;

    /// The session's own agent, given the process its latest hook event named, without waiting and without walking
    /// the processes: that process where it has a terminal (an agent that runs its hooks itself); the process held as
    /// its own before while it runs with a terminal; else what the rule makes of the processes looked up for this
    /// session and server. Where there is no such look yet, or what it found has ended, a look starts off this
    /// thread, and the named process is the answer until onLookedUp says it is done.
    Verdict ownAgent(const AgentProcessId& named, const Session& session);

    /// The same, waiting for a look where none is at hand.
    QCoro::Task<Verdict> verdict(AgentProcessId named, Session session);

    /// The process last proven the session's own under a server, whether it still runs or not; nullopt where none
    /// was (the server is all that is known of it): whether a session's own agent runs, where a server speaks for it.
    std::optional<AgentProcessId> provenAgent(const QString& sessionId) const;

    /// For a session that ended with the process proven its own while its server runs on: the process that runs it
    /// now (a resumed session sends its events through the same server, and may send no start), where the latest
    /// look proves one among the processes started to resume a session; one started plainly is another session's.
    /// Each call that finds none starts a fresh look off this thread for the next, so a process started since is seen;
    /// the session's late events cost one look at a time.
    std::optional<AgentProcessId> resumedAgent(const AgentProcessId& named, const Session& session);

    /// The rule, given the named process (a server without a terminal), the processes of its name with a terminal in
    /// the session's folders when it was first looked for under that server, and which of them have ended since.
    static Verdict choose(const ProcessFacts& named, const std::vector<ProcessFacts>& looked,
        const std::vector<AgentProcessId>& ended, const Session& session);

    /// From /proc.
    static std::optional<ProcessFacts> kernelProcess(qint64 pid);
    static std::vector<ProcessFacts> kernelProcesses(const QString& name);

    ProcessReader readProcess = &SessionAgentFinder::kernelProcess;
    ProcessLister listProcesses = &SessionAgentFinder::kernelProcesses;

private:
    /// What one look through the processes found for a session whose hooks run under a server.
    struct Lookup {
        QString sessionId;
        AgentProcessId server;
        SessionFolders folders;
        std::optional<std::vector<ProcessFacts>> processes {}; // nullopt until a look has ended
        std::optional<AgentProcessId> proven {};
        bool looking = false;
    };

    std::optional<ProcessFacts> factsOf(const AgentProcessId& id) const;
    /// Those of the processes that have ended since they were looked up.
    std::vector<AgentProcessId> endedOf(const std::vector<ProcessFacts>& processes) const;
    /// The named process where it runs without a terminal.
    std::optional<ProcessFacts> serverFacts(const AgentProcessId& named) const;
    /// The process held as the session's own before, where it still runs with a terminal.
    std::optional<AgentProcessId> keptCurrent(const AgentProcessId& named, const Session& session) const;
    /// The rule over the session's look under that server; nullopt where there is none yet, or where what it found
    /// has ended (the look is then due again). A proven answer is kept while its process runs.
    std::optional<Verdict> answerFrom(const ProcessFacts& server, const Session& session);
    Lookup& remember(const QString& sessionId, const AgentProcessId& server, const SessionFolders& folders);
    QCoro::Task<> lookUp(QString sessionId, AgentProcessId server, QString name, SessionFolders folders);
    /// The processes of that name with a terminal in the folders, other than the server, from a worker thread.
    QCoro::Task<std::vector<ProcessFacts>> terminalProcesses(
        QString name, SessionFolders folders, AgentProcessId server) const;

    std::vector<Lookup> m_lookups;
    // Guards a look across its wait: its result is dropped when the finder is gone.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::hooks
