#include "main/hooks/terminals/SessionAgentFinder.h"

#include <algorithm>
#include <iterator>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStringList>

#include <unistd.h>

#include "main/common/OffThread.h"
#include "main/hooks/terminals/ProcessDiscovery.h"

namespace murmeli::hooks {

namespace {

// When the machine started, in milliseconds since 1970; a process's start time counts from there.
std::optional<qint64> bootMs()
{
    QFile file(QStringLiteral("/proc/uptime"));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool isNumber = false;
    const double uptime = file.read(64).split(' ').value(0).toDouble(&isNumber);
    if (!isNumber) {
        return std::nullopt;
    }
    return QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(uptime * 1000);
}

std::optional<ProcessFacts> kernelFacts(qint64 pid, qint64 boot, const QString& name = {})
{
    const std::optional<AgentProcessId::KernelStat> stat = AgentProcessId::kernelStat(pid);
    if (!stat || stat->state == 'Z' || stat->state == 'X' || (!name.isNull() && stat->name != name)) {
        return std::nullopt;
    }
    ProcessFacts facts;
    facts.id = { pid, stat->startTicks };
    facts.name = stat->name;
    facts.hasTerminal = stat->hasTerminal;
    facts.cwd = ProcessDiscovery::procWorkingDirectory(QString::number(pid));
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (cmdline.open(QIODevice::ReadOnly)) {
        facts.commandLine = QString::fromUtf8(cmdline.read(64 * 1024).replace('\0', ' ')).trimmed();
    }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (ticksPerSecond > 0) {
        facts.startedMs = boot + static_cast<qint64>(stat->startTicks * 1000 / static_cast<quint64>(ticksPerSecond));
    }
    return facts;
}

bool holds(const std::vector<AgentProcessId>& ids, const AgentProcessId& id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// A process started to resume a session names its id as one of its arguments.
bool namesSession(const QString& commandLine, const QString& sessionId)
{
    return !sessionId.isEmpty() && commandLine.split(u' ', Qt::SkipEmptyParts).contains(sessionId);
}

// A process started to take up an ended session again says so among its arguments (`codex resume --last`, or the
// session's id); one started plainly begins a session of its own, which may not have spoken yet.
bool startedToResume(const ProcessFacts& process, const QString& sessionId)
{
    return namesSession(process.commandLine, sessionId)
        || process.commandLine.split(u' ', Qt::SkipEmptyParts).contains(QStringLiteral("resume"));
}

} // namespace

QString SessionAgentFinder::Verdict::undecidedPids() const
{
    QStringList pids;
    for (const AgentProcessId& process : undecided) {
        pids << process.pidText();
    }
    return pids.join(QStringLiteral(", "));
}

SessionAgentFinder::Verdict SessionAgentFinder::choose(const ProcessFacts& named,
    const std::vector<ProcessFacts>& looked, const std::vector<AgentProcessId>& ended, const Session& session)
{
    if (named.hasTerminal) {
        return { named.id };
    }
    const auto heldByAnother = [&](const AgentProcessId& id) {
        return std::any_of(
            session.others.begin(), session.others.end(), [&](const OtherSession& other) { return other.agent == id; });
    };
    for (const QString& folder : session.folders.agentFolders()) {
        std::vector<const ProcessFacts*> fits;
        std::vector<const ProcessFacts*> running;
        for (const ProcessFacts& process : looked) {
            if (process.id != named.id && process.name == named.name && process.hasTerminal && process.cwd
                && !heldByAnother(process.id) && SessionFolders::resolved(*process.cwd) == folder) {
                fits.push_back(&process);
                if (!holds(ended, process.id)) {
                    running.push_back(&process);
                }
            }
        }
        if (fits.empty()) {
            continue;
        }
        for (const ProcessFacts* fit : running) {
            if (namesSession(fit->commandLine, session.id)) {
                return { fit->id };
            }
        }
        // The one there when the session first spoke is its own. One left of several is only where no other
        // session of the server works there: the one whose process ended may be this one.
        const bool rivalled = std::any_of(session.others.begin(), session.others.end(), [&](const OtherSession& other) {
            return other.agent == named.id && other.folders.agentFolders().contains(folder);
        });
        if (running.size() == 1 && (fits.size() == 1 || !rivalled)) {
            return { running.front()->id };
        }
        Verdict undecided { named.id };
        for (const ProcessFacts* fit : running) {
            undecided.undecided.push_back(fit->id);
        }
        return undecided;
    }
    return { named.id };
}

SessionAgentFinder::Verdict SessionAgentFinder::ownAgent(const AgentProcessId& named, const Session& session)
{
    const std::optional<ProcessFacts> server = serverFacts(named);
    if (!server) {
        return { named };
    }
    if (const auto kept = keptCurrent(named, session)) {
        return { *kept };
    }
    if (const auto answer = answerFrom(*server, session)) {
        return *answer;
    }
    Lookup& lookup = remember(session.id, named, session.folders);
    if (!lookup.looking) {
        lookup.looking = true;
        lookUp(session.id, named, server->name, session.folders);
    }
    return { named };
}

QCoro::Task<SessionAgentFinder::Verdict> SessionAgentFinder::verdict(AgentProcessId named, Session session)
{
    const std::optional<ProcessFacts> server = serverFacts(named);
    if (!server) {
        co_return Verdict { named };
    }
    if (const auto kept = keptCurrent(named, session)) {
        co_return Verdict { *kept };
    }
    if (const auto answer = answerFrom(*server, session)) {
        co_return *answer;
    }
    QPointer<QObject> alive = m_lifetime.get();
    std::vector<ProcessFacts> processes = co_await terminalProcesses(server->name, session.folders, named);
    if (!alive) {
        co_return Verdict { named };
    }
    remember(session.id, named, session.folders).processes = std::move(processes);
    co_return answerFrom(*server, session).value_or(Verdict { named });
}

std::optional<AgentProcessId> SessionAgentFinder::provenAgent(const QString& sessionId) const
{
    const auto found = std::find_if(m_lookups.rbegin(), m_lookups.rend(),
        [&](const Lookup& lookup) { return lookup.sessionId == sessionId && lookup.proven; });
    return found == m_lookups.rend() ? std::nullopt : found->proven;
}

std::optional<AgentProcessId> SessionAgentFinder::resumedAgent(const AgentProcessId& named, const Session& session)
{
    const std::optional<ProcessFacts> server = serverFacts(named);
    if (!server) {
        return std::nullopt;
    }
    Lookup& lookup = remember(session.id, named, session.folders);
    if (lookup.looking) {
        return std::nullopt;
    }
    if (lookup.processes) {
        std::vector<ProcessFacts> resuming;
        std::copy_if(lookup.processes->begin(), lookup.processes->end(), std::back_inserter(resuming),
            [&](const ProcessFacts& process) { return startedToResume(process, session.id); });
        const Verdict answer = choose(*server, resuming, endedOf(resuming), session);
        if (answer.agent != named) {
            lookup.proven = answer.agent;
            return answer.agent;
        }
    }
    lookup.processes.reset();
    lookup.looking = true;
    lookUp(session.id, named, server->name, session.folders);
    return std::nullopt;
}

std::optional<ProcessFacts> SessionAgentFinder::factsOf(const AgentProcessId& id) const
{
    std::optional<ProcessFacts> facts = readProcess ? readProcess(id.pid) : std::nullopt;
    return facts && facts->id == id ? facts : std::nullopt;
}

std::vector<AgentProcessId> SessionAgentFinder::endedOf(const std::vector<ProcessFacts>& processes) const
{
    std::vector<AgentProcessId> ended;
    for (const ProcessFacts& process : processes) {
        if (!factsOf(process.id)) {
            ended.push_back(process.id);
        }
    }
    return ended;
}

std::optional<ProcessFacts> SessionAgentFinder::serverFacts(const AgentProcessId& named) const
{
    std::optional<ProcessFacts> facts = factsOf(named);
    return facts && !facts->hasTerminal ? facts : std::nullopt;
}

std::optional<AgentProcessId> SessionAgentFinder::keptCurrent(const AgentProcessId& named, const Session& session) const
{
    if (!session.current || *session.current == named) {
        return std::nullopt;
    }
    const std::optional<ProcessFacts> current = factsOf(*session.current);
    return current && current->hasTerminal ? session.current : std::nullopt;
}

std::optional<SessionAgentFinder::Verdict> SessionAgentFinder::answerFrom(
    const ProcessFacts& server, const Session& session)
{
    const auto found = std::find_if(m_lookups.begin(), m_lookups.end(), [&](const Lookup& lookup) {
        return lookup.sessionId == session.id && lookup.server == server.id && lookup.folders == session.folders;
    });
    if (found == m_lookups.end() || !found->processes) {
        return std::nullopt;
    }
    if (found->proven && factsOf(*found->proven)) {
        return Verdict { *found->proven };
    }
    const std::vector<AgentProcessId> ended = endedOf(*found->processes);
    // Its own process gone while the session speaks on: it was resumed in another, started since the look.
    if (found->proven || (!found->processes->empty() && ended.size() == found->processes->size())) {
        found->processes.reset();
        found->proven.reset();
        return std::nullopt;
    }
    Verdict answer = choose(server, *found->processes, ended, session);
    if (answer.agent != server.id) {
        found->proven = answer.agent;
    }
    return answer;
}

SessionAgentFinder::Lookup& SessionAgentFinder::remember(
    const QString& sessionId, const AgentProcessId& server, const SessionFolders& folders)
{
    const auto found = std::find_if(m_lookups.begin(), m_lookups.end(),
        [&](const Lookup& lookup) { return lookup.sessionId == sessionId && lookup.server == server; });
    if (found != m_lookups.end()) {
        if (found->folders != folders) {
            *found = Lookup { sessionId, server, folders };
        }
        return *found;
    }
    if (m_lookups.size() >= keptLookups) {
        std::erase_if(m_lookups, [&](const Lookup& lookup) { return !lookup.looking && !factsOf(lookup.server); });
    }
    if (m_lookups.size() >= keptLookups) {
        m_lookups.erase(m_lookups.begin(), m_lookups.begin() + keptLookups / 2);
    }
    return m_lookups.emplace_back(Lookup { sessionId, server, folders });
}

QCoro::Task<> SessionAgentFinder::lookUp(QString sessionId, AgentProcessId server, QString name, SessionFolders folders)
{
    QPointer<QObject> alive = m_lifetime.get();
    std::vector<ProcessFacts> processes = co_await terminalProcesses(name, folders, server);
    if (!alive) {
        co_return;
    }
    const auto found = std::find_if(m_lookups.begin(), m_lookups.end(), [&](const Lookup& lookup) {
        return lookup.sessionId == sessionId && lookup.server == server && lookup.folders == folders;
    });
    if (found == m_lookups.end()) {
        co_return;
    }
    found->looking = false;
    found->processes = std::move(processes);
    if (onLookedUp) {
        onLookedUp(sessionId);
    }
}

QCoro::Task<std::vector<ProcessFacts>> SessionAgentFinder::terminalProcesses(
    QString name, SessionFolders folders, AgentProcessId server) const
{
    // The worker owns copies: the finder may be gone by the time it ends.
    std::function<std::vector<ProcessFacts>()> work = [list = listProcesses, name, folders, server] {
        std::vector<ProcessFacts> found;
        const QStringList where = folders.agentFolders();
        for (ProcessFacts& process : list ? list(name) : std::vector<ProcessFacts> {}) {
            if (process.id != server && process.hasTerminal && process.cwd
                && where.contains(SessionFolders::resolved(*process.cwd))) {
                found.push_back(std::move(process));
            }
        }
        return found;
    };
    co_return co_await common::runOffThread(std::move(work));
}

std::optional<ProcessFacts> SessionAgentFinder::kernelProcess(qint64 pid)
{
    const std::optional<qint64> boot = bootMs();
    return boot ? kernelFacts(pid, *boot) : std::nullopt;
}

std::vector<ProcessFacts> SessionAgentFinder::kernelProcesses(const QString& name)
{
    std::vector<ProcessFacts> processes;
    const std::optional<qint64> boot = bootMs();
    if (!boot || name.isEmpty()) {
        return processes;
    }
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (isNumber) {
            if (auto facts = kernelFacts(pid, *boot, name)) {
                processes.push_back(std::move(*facts));
            }
        }
    }
    return processes;
}

} // namespace murmeli::hooks
