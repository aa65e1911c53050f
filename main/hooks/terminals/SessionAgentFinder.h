#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/hooks/sessions/ResolvedFolders.h"
#include "main/hooks/sessions/SessionFolders.h"
#include "main/hooks/terminals/AgentProcessId.h"

namespace murmeli::hooks {

/// One process as the kernel shows it: enough to tell an agent's own process from a server its sessions share.
struct ProcessFacts final {
    AgentProcessId id;
    QString name; // the kernel's short name of its executable
    bool hasTerminal = false;
    std::optional<QString> cwd {};
    QStringList arguments {}; // as it was started, each one whole: a quoted prompt is one argument, not words
    qint64 startedMs = 0; // when it started, in milliseconds since 1970

    friend bool operator==(const ProcessFacts&, const ProcessFacts&) = default;
};

/// Which process is a session's own agent, the one place that says so: the hook events' dispatcher, the terminal
/// jump and, through the session's record, the hook scripts ask it.
///
/// An agent may run the hooks of all its sessions from one background server without a terminal (Codex's shared app
/// server, which its first terminal session starts). That server is certain; a process of its name with a terminal,
/// working in the session's folder, is the session's own only where the process itself proves it, from a fresh look
/// at the processes: its arguments name the session (`codex resume <id>`). One more tie is made, as the likely one:
/// the only such process in the folder when the session first spoke, while no other session of that server works
/// there and no other session owns it (holds it as its own, or is named by its arguments); it is dropped as soon as
/// another session of the server there speaks or another such process starts there, and made again where, alone there
/// once more with no other session of the server there, it ran before the session first spoke. Nothing else ties a
/// session, least of all which processes the other sessions leave over. Where nothing ties it, the server stays the
/// session's process and the jump says it cannot tell; such a session ends for want of a window only once a window that
/// could have been its own (no other session's) was seen in its folder and none is left: a server that never had one
/// beside it, an editor's or a headless run's, keeps its sessions while it runs, however many. A tie never passes to
/// another process but by proof: the end of its process ends the session, whatever comes late.
///
/// Every look at the processes, with the folders the agents sent, runs within lookLimitMs; one that runs out proves
/// nothing. Looks at the processes and at the folders run on threads of their own each, so that neither starves the
/// other.
class SessionAgentFinder final {
public:
    /// Another listed session: the process murmeli holds as its own, and where it works.
    struct OtherSession {
        QString id;
        AgentProcessId agent;
        SessionFolders folders {};
        std::optional<AgentProcessId> hooksProcess {}; // the server that runs its hooks, where that is not agent
    };
    /// What is known of a session when one of its hook events comes, or its terminal is asked for.
    struct Session {
        QString id; // the agent's full session id
        SessionFolders folders {};
        std::optional<AgentProcessId> current {}; // the process held as its own so far
        std::vector<OtherSession> others {}; // the other listed sessions
        std::vector<AgentProcessId> windows {}; // the windows that could have been its own, as held before (a restart)
    };
    /// A session's own agent as far as it can be told.
    struct Verdict {
        AgentProcessId agent; // its own process; where none is tied, the process its hooks named
        std::vector<AgentProcessId> undecided {}; // those that may each be its own where nothing tells which
        bool likely = false; // tied as the likely one, not proven
        bool untold = false; // its hooks run under a server and no process is tied to it
        AgentProcessId server {}; // the server its hooks run under, where they do

        /// The pids of the undecided ones as a log line names them: "4100, 4200".
        QString undecidedPids() const;
        friend bool operator==(const Verdict&, const Verdict&) = default;
    };

    /// One process; nullopt when there is none with that pid.
    using ProcessReader = std::function<std::optional<ProcessFacts>(qint64 pid)>;
    /// Every process of the machine with that short name. Called off the owner's thread.
    using ProcessLister = std::function<std::vector<ProcessFacts>(const QString& name)>;

    /// Sessions whose ties are kept; beyond it those of servers that ended go.
    static constexpr std::size_t keptLookups = 256;
    /// How long a look at the processes, with the folders it resolves, may take before it counts as no proof.
    static constexpr qint64 lookLimitMs = 1500;
    /// The windows a session's record keeps of those that could have been its own.
    static constexpr std::size_t keptWindows = 8;
    /// A session that does not speak is looked at again at most this often.
    static constexpr qint64 recheckIntervalMs = 1000;

    /// clock bounds the looks and spaces the rechecks; it must outlive the finder.
    explicit SessionAgentFinder(common::Clock& clock);
    SessionAgentFinder(const SessionAgentFinder&) = delete;
    SessionAgentFinder& operator=(const SessionAgentFinder&) = delete;

    /// On the owner's thread, when a look through the processes, or another session's word, changed the session's
    /// own agent: heldAgent() tells the new one.
    std::function<void(const QString& sessionId)> onLookedUp;

    /// An event of the session came, from the process named, without waiting and without walking the processes:
    /// that process where it has a terminal (an agent that runs its hooks itself); else the tie held so far, or the
    /// server. A fresh look starts off this thread, and another session of the server in its folders loses its likely
    /// tie at once.
    Verdict ownAgent(const AgentProcessId& named, const Session& session);

    /// The same from a fresh look, waiting for it, without counting as the session's word: for the jump.
    QCoro::Task<Verdict> verdict(AgentProcessId named, Session session);

    /// What is held of a session now; nullopt for one never looked for under a server.
    std::optional<Verdict> heldAgent(const QString& sessionId) const;

    /// The process last tied to the session, whether it still runs or not; nullopt where none was.
    std::optional<AgentProcessId> tiedAgent(const QString& sessionId) const;

    /// Whether the process runs without a terminal: a server that may speak for several sessions.
    bool isServer(const AgentProcessId& named) const;

    /// For an event of a session that ended: a fresh look, after which resumedAgent() and startedAgain() answer. It
    /// makes no likely tie.
    QCoro::Task<> lookAgain(AgentProcessId named, Session session);
    /// A running process that the latest look proved the session's own (a resume of it); nullopt where none.
    std::optional<AgentProcessId> resumedAgent(const QString& sessionId) const;
    /// Whether the latest look of the ended session found, in its folders, a process of its agent started to resume a
    /// session without naming which (`codex resume --last`) that no other session owns, or could not look.
    bool startedAgain(const QString& sessionId) const;
    /// Whether the process runs and names the session among its arguments: it proves itself the session's own.
    bool namesSession(const AgentProcessId& process, const QString& sessionId) const;
    /// The session starts again: what was held of it goes.
    void forget(const QString& sessionId);

    /// A listed session whose hooks the process named runs, as time passes without its word: a fresh look, at most
    /// every recheckIntervalMs, unless a proven tie holds it. A likely one is untied where another process started
    /// beside it, and an untied one learns whether anything of its agent is left for it.
    void recheck(const AgentProcessId& named, const Session& session);
    /// Whether the latest two looks of the untied session found nothing of its agent left in its folders for it: no
    /// process of the agent with a terminal there that no other session owns, where one that could have been its own
    /// was seen there before. A session that never had one (its server's alone, or beside other sessions' windows) is
    /// never left with nothing.
    bool nothingLeft(const QString& sessionId) const;
    /// The windows the session's looks found that could have been its own and that no other session has owned since:
    /// kept in its record, so that a restart still knows it had one.
    std::vector<AgentProcessId> windowsSeen(const QString& sessionId) const;

    /// The folders as the kernel names them, once those not resolved yet are, off this thread and within
    /// lookLimitMs; one that does not answer in time stays as written.
    QCoro::Task<SessionFolders> resolvedFolders(SessionFolders folders);

    /// Looks under way; for the tests.
    std::size_t looksUnderWay() const;

    /// The rule over a fresh look: the named process (a server without a terminal) and the processes of its name with
    /// a terminal in the session's folders, which are given as the kernel names them. Of the session's others, those
    /// of that server stand in the likely one's way where they work, and any may own a process. firstLook: the
    /// session speaks for the first time, so the likely one may be tied; keptLikely: the one tied before as the
    /// likely one; firstWordMs: when the session first spoke in this run, since 1970, for that window on a later look.
    static Verdict choose(const ProcessFacts& named, const std::vector<ProcessFacts>& looked, const Session& session,
        bool firstLook, const std::optional<AgentProcessId>& keptLikely = std::nullopt,
        std::optional<qint64> firstWordMs = std::nullopt);
    /// The processes of the named server's name with a terminal that the same look finds in the session's known
    /// folders and no other session owns: the windows that may be its own.
    static std::vector<AgentProcessId> windowsLeft(
        const ProcessFacts& named, const std::vector<ProcessFacts>& looked, const Session& session);

    /// From /proc.
    static std::optional<ProcessFacts> kernelProcess(qint64 pid);
    static std::vector<ProcessFacts> kernelProcesses(const QString& name);

    ProcessReader readProcess = &SessionAgentFinder::kernelProcess;
    ProcessLister listProcesses = &SessionAgentFinder::kernelProcesses;
    /// Resolves one folder an agent sent; called off the owner's thread, at most once per folder.
    ResolvedFolders::Resolve resolveFolder = &SessionFolders::resolved;

private:
    /// What is held of one session whose hooks run under a server.
    struct Lookup {
        Session session;
        AgentProcessId server;
        QString name; // the server's, which its sessions' processes share
        std::optional<AgentProcessId> tie {};
        std::optional<AgentProcessId> letGo {}; // the tie it held last, which the listed sessions may still show
        bool likely = false;
        std::vector<AgentProcessId> undecided {};
        bool looked = false; // a look has ended: the session spoke before
        bool looking = false;
        bool again = false; // asked again while looking
        bool nothingLeft = false;
        bool leftNothingSeen = false; // the latest look found nothing left, yet to be borne out by the next
        // Windows a look found that could have been its own, less those another session has owned since.
        std::vector<AgentProcessId> windows {};
        std::optional<qint64> firstWordMs {}; // when it first spoke in this run, since 1970
        bool startedAgain = false;
        std::optional<qint64> lookedAtMs {}; // on the monotonic scale, when its latest look ended
    };
    /// What a look found: the processes of the server's name with a terminal in the session's folders.
    struct Look {
        std::vector<ProcessFacts> found;
    };

    std::optional<ProcessFacts> factsOf(const AgentProcessId& id) const;
    /// The named process where it runs without a terminal.
    std::optional<ProcessFacts> serverFacts(const AgentProcessId& named) const;
    Lookup* find(const QString& sessionId);
    const Lookup* find(const QString& sessionId) const;
    Lookup& remember(const ProcessFacts& server, const Session& session);
    static Verdict answerOf(const Lookup& lookup);
    /// The session's tie becomes tie; the one it had is kept as let go.
    static void retie(Lookup& lookup, std::optional<AgentProcessId> tie);
    /// Unties the other sessions of the server in those folders held only as likely; tells who lost its tie.
    void dropLikelyBeside(const QString& sessionId, const AgentProcessId& server, const SessionFolders& folders);
    /// The session as choose() is asked of it: its folders and the others' as the kernel names them, and the server
    /// of each other session whose own look tells it.
    Session asked(const Lookup& lookup) const;
    /// Takes what a look found; true where the session's own agent changed.
    bool take(Lookup& lookup, const Look& look);
    void startLook(Lookup& lookup);
    QCoro::Task<> lookUp(QString sessionId);
    /// The look for the session, off this thread within lookLimitMs; nullopt where it ran out or found no thread.
    QCoro::Task<std::optional<Look>> look(QString name, Session session, AgentProcessId server);

    common::Clock& m_clock;
    std::shared_ptr<ResolvedFolders> m_folders;
    std::vector<Lookup> m_lookups;
    // Guards a look across its wait: its result is dropped when the finder is gone.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::hooks
