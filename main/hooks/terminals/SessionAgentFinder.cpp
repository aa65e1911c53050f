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
        // Each argument ends with a NUL: a prompt of several words stays one argument.
        for (const QByteArray& argument : cmdline.read(64 * 1024).split('\0')) {
            facts.arguments << QString::fromUtf8(argument);
        }
        if (!facts.arguments.isEmpty() && facts.arguments.constLast().isEmpty()) {
            facts.arguments.removeLast();
        }
    }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (ticksPerSecond > 0) {
        facts.startedMs = boot + static_cast<qint64>(stat->startTicks * 1000 / static_cast<quint64>(ticksPerSecond));
    }
    return facts;
}

// The process proves the session its own by naming it among its arguments, as a resume does (`codex resume <id>`).
// Each argument counts whole: the id inside a quoted prompt, or the word "resume" in one, proves nothing.
bool argumentsName(const QStringList& arguments, const QString& sessionId)
{
    return !sessionId.isEmpty() && arguments.size() > 1
        && std::find(arguments.begin() + 1, arguments.end(), sessionId) != arguments.end();
}

// Started to resume a session without naming which (`codex resume --last`, or its picker): it may be any ended one's.
bool startedToResume(const QStringList& arguments)
{
    return arguments.size() > 1 && std::find(arguments.begin() + 1, arguments.end(), u"resume") != arguments.end();
}

bool sharesAFolder(const SessionFolders& one, const QStringList& folders)
{
    const QStringList own = one.agentFolders();
    return std::any_of(own.begin(), own.end(), [&](const QString& folder) { return folders.contains(folder); });
}

// Another session holds the process as its own, or the process's arguments name another session: it proves that
// one, and is never this one's likely tie.
bool ownedByAnother(const ProcessFacts& process, const SessionAgentFinder::Session& session)
{
    return std::any_of(session.others.begin(), session.others.end(), [&](const SessionAgentFinder::OtherSession& o) {
        return o.agent == process.id || argumentsName(process.arguments, o.id);
    });
}

// The other session's hooks run under that server.
bool sameServer(const SessionAgentFinder::OtherSession& other, const AgentProcessId& server)
{
    return other.agent == server || other.hooksProcess == server;
}

// One of the processes of the server's name with a terminal in one of the folders.
bool fits(const ProcessFacts& process, const ProcessFacts& named, const QString& folder)
{
    // The kernel gives a process's folder resolved already.
    return process.id != named.id && process.name == named.name && process.hasTerminal && process.cwd == folder;
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
    const std::vector<ProcessFacts>& looked, const Session& session, bool firstLook,
    const std::optional<AgentProcessId>& keptLikely, std::optional<qint64> firstWordMs)
{
    if (named.hasTerminal) {
        return { named.id };
    }
    Verdict untold { named.id, {}, false, true, named.id };
    for (const QString& folder : session.folders.agentFolders()) {
        std::vector<const ProcessFacts*> there;
        for (const ProcessFacts& process : looked) {
            if (fits(process, named, folder)) {
                there.push_back(&process);
            }
        }
        if (there.empty()) {
            continue;
        }
        std::vector<const ProcessFacts*> naming;
        std::copy_if(there.begin(), there.end(), std::back_inserter(naming),
            [&](const ProcessFacts* fit) { return argumentsName(fit->arguments, session.id); });
        if (naming.size() == 1) {
            return { naming.front()->id, {}, false, false, named.id };
        }
        const bool rivalled = std::any_of(session.others.begin(), session.others.end(), [&](const OtherSession& other) {
            return sameServer(other, named.id) && other.folders.agentFolders().contains(folder);
        });
        const ProcessFacts* only = there.size() == 1 ? there.front() : nullptr;
        // A window that ran before the session first spoke, alone there still, is no less likely its own on a later
        // look: another process beside it, or another session of the server there, took it back before.
        const bool ranBefore = only && firstWordMs && only->startedMs <= *firstWordMs;
        if (naming.empty() && only && !rivalled && !ownedByAnother(*only, session)
            && (firstLook || keptLikely == only->id || ranBefore)) {
            return { only->id, {}, true, false, named.id };
        }
        for (const ProcessFacts* fit : naming.empty() ? there : naming) {
            if (!ownedByAnother(*fit, session)) {
                untold.undecided.push_back(fit->id);
            }
        }
        return untold;
    }
    return untold;
}

std::vector<AgentProcessId> SessionAgentFinder::windowsLeft(
    const ProcessFacts& named, const std::vector<ProcessFacts>& looked, const Session& session)
{
    const QStringList folders = session.folders.agentFolders();
    std::vector<AgentProcessId> left;
    for (const ProcessFacts& process : looked) {
        if (std::any_of(folders.begin(), folders.end(), [&](const QString& f) { return fits(process, named, f); })
            && !ownedByAnother(process, session)) {
            left.push_back(process.id);
        }
    }
    return left;
}

SessionAgentFinder::SessionAgentFinder(common::Clock& clock)
    : m_clock(clock), m_folders(std::make_shared<ResolvedFolders>())
{
}

SessionAgentFinder::Verdict SessionAgentFinder::ownAgent(const AgentProcessId& named, const Session& session)
{
    const std::optional<ProcessFacts> server = serverFacts(named);
    if (!server) {
        return { named };
    }
    dropLikelyBeside(session.id, named, session.folders);
    Lookup& lookup = remember(*server, session);
    if (!lookup.firstWordMs) {
        lookup.firstWordMs = m_clock.now().toMSecsSinceEpoch();
    }
    startLook(lookup);
    return answerOf(lookup);
}

QCoro::Task<SessionAgentFinder::Verdict> SessionAgentFinder::verdict(AgentProcessId named, Session session)
{
    Lookup* lookup = find(session.id);
    if (!lookup) {
        const std::optional<ProcessFacts> server = serverFacts(named);
        if (!server) {
            co_return Verdict { named };
        }
        lookup = &remember(*server, session);
    } else {
        lookup->session = session;
    }
    const QString sessionId = session.id;
    QPointer<QObject> alive = m_lifetime.get();
    const std::optional<Look> looked = co_await look(lookup->name, lookup->session, lookup->server);
    lookup = alive ? find(sessionId) : nullptr;
    if (!lookup) {
        co_return Verdict { named };
    }
    if (looked && take(*lookup, *looked) && onLookedUp) {
        onLookedUp(sessionId);
    }
    lookup = find(sessionId);
    Verdict answer = lookup ? answerOf(*lookup) : Verdict { named };
    // Its process is gone and the session with it: no other terminal is its own.
    if (lookup && lookup->tie && !factsOf(*lookup->tie)) {
        answer = { lookup->server, {}, false, true, lookup->server };
    }
    co_return answer;
}

std::optional<SessionAgentFinder::Verdict> SessionAgentFinder::heldAgent(const QString& sessionId) const
{
    const Lookup* lookup = find(sessionId);
    return lookup ? std::optional(answerOf(*lookup)) : std::nullopt;
}

std::optional<AgentProcessId> SessionAgentFinder::tiedAgent(const QString& sessionId) const
{
    const Lookup* lookup = find(sessionId);
    return lookup ? lookup->tie : std::nullopt;
}

bool SessionAgentFinder::isServer(const AgentProcessId& named) const
{
    return serverFacts(named).has_value();
}

QCoro::Task<> SessionAgentFinder::lookAgain(AgentProcessId named, Session session)
{
    const std::optional<ProcessFacts> server = serverFacts(named);
    if (!server) {
        co_return;
    }
    // An ended session's event is its own agent's only by proof: no likely tie.
    Lookup& ended = remember(*server, session);
    ended.looked = true;
    ended.startedAgain = false;
    QPointer<QObject> alive = m_lifetime.get();
    const std::optional<Look> looked = co_await look(server->name, ended.session, named);
    Lookup* lookup = alive ? find(session.id) : nullptr;
    if (!lookup) {
        co_return;
    }
    if (!looked) {
        // Nothing could tell: it comes back, held to no process.
        lookup->startedAgain = true;
        co_return;
    }
    take(*lookup, *looked);
    const Session question = asked(*lookup);
    lookup->startedAgain = std::any_of(looked->found.begin(), looked->found.end(), [&](const ProcessFacts& process) {
        return startedToResume(process.arguments) && !ownedByAnother(process, question);
    });
}

std::optional<AgentProcessId> SessionAgentFinder::resumedAgent(const QString& sessionId) const
{
    const Lookup* lookup = find(sessionId);
    if (!lookup || !lookup->tie || lookup->likely) {
        return std::nullopt;
    }
    const std::optional<ProcessFacts> tied = factsOf(*lookup->tie);
    return tied && argumentsName(tied->arguments, sessionId) ? lookup->tie : std::nullopt;
}

bool SessionAgentFinder::startedAgain(const QString& sessionId) const
{
    const Lookup* lookup = find(sessionId);
    return lookup && lookup->startedAgain;
}

bool SessionAgentFinder::namesSession(const AgentProcessId& process, const QString& sessionId) const
{
    const std::optional<ProcessFacts> facts = factsOf(process);
    return facts && argumentsName(facts->arguments, sessionId);
}

void SessionAgentFinder::forget(const QString& sessionId)
{
    std::erase_if(m_lookups, [&](const Lookup& lookup) { return lookup.session.id == sessionId && !lookup.looking; });
}

void SessionAgentFinder::recheck(const AgentProcessId& named, const Session& session)
{
    Lookup* lookup = find(session.id);
    if (lookup) {
        lookup->session = session;
    } else {
        const std::optional<ProcessFacts> server = serverFacts(named);
        if (!server) {
            return;
        }
        // Held before this run, or by a session that has not spoken since: no likely tie is made for it.
        lookup = &remember(*server, session);
        lookup->looked = true;
    }
    const bool proven = lookup->tie && !lookup->likely;
    if (!proven && !lookup->looking
        && (!lookup->lookedAtMs || m_clock.monotonicMs() - *lookup->lookedAtMs >= recheckIntervalMs)) {
        startLook(*lookup);
    }
}

bool SessionAgentFinder::nothingLeft(const QString& sessionId) const
{
    const Lookup* lookup = find(sessionId);
    return lookup && !lookup->tie && lookup->nothingLeft;
}

std::vector<AgentProcessId> SessionAgentFinder::windowsSeen(const QString& sessionId) const
{
    const Lookup* lookup = find(sessionId);
    return lookup ? lookup->windows : std::vector<AgentProcessId> {};
}

QCoro::Task<SessionFolders> SessionAgentFinder::resolvedFolders(SessionFolders folders)
{
    const std::shared_ptr<ResolvedFolders> known = m_folders;
    QFuture<void> resolved = known->resolve(std::vector { folders }, resolveFolder, common::folderPool());
    co_await common::endedWithin(std::move(resolved), m_clock, lookLimitMs);
    co_return known->known(folders);
}

std::size_t SessionAgentFinder::looksUnderWay() const
{
    return std::size_t(std::count_if(m_lookups.begin(), m_lookups.end(), [](const Lookup& l) { return l.looking; }));
}

std::optional<ProcessFacts> SessionAgentFinder::factsOf(const AgentProcessId& id) const
{
    std::optional<ProcessFacts> facts = readProcess ? readProcess(id.pid) : std::nullopt;
    return facts && facts->id == id ? facts : std::nullopt;
}

std::optional<ProcessFacts> SessionAgentFinder::serverFacts(const AgentProcessId& named) const
{
    std::optional<ProcessFacts> facts = factsOf(named);
    return facts && !facts->hasTerminal ? facts : std::nullopt;
}

SessionAgentFinder::Lookup* SessionAgentFinder::find(const QString& sessionId)
{
    const auto found = std::find_if(
        m_lookups.begin(), m_lookups.end(), [&](const Lookup& lookup) { return lookup.session.id == sessionId; });
    return found == m_lookups.end() ? nullptr : &*found;
}

const SessionAgentFinder::Lookup* SessionAgentFinder::find(const QString& sessionId) const
{
    return const_cast<SessionAgentFinder*>(this)->find(sessionId);
}

SessionAgentFinder::Lookup& SessionAgentFinder::remember(const ProcessFacts& server, const Session& session)
{
    if (Lookup* known = find(session.id)) {
        known->session = session;
        known->server = server.id;
        known->name = server.name;
        return *known;
    }
    if (m_lookups.size() >= keptLookups) {
        std::erase_if(m_lookups, [&](const Lookup& lookup) { return !lookup.looking && !factsOf(lookup.server); });
    }
    if (m_lookups.size() >= keptLookups) {
        const auto idle = std::stable_partition(
            m_lookups.begin(), m_lookups.end(), [](const Lookup& lookup) { return lookup.looking; });
        m_lookups.erase(idle, idle + std::min<std::ptrdiff_t>(keptLookups / 2, m_lookups.end() - idle));
    }
    Lookup& lookup = m_lookups.emplace_back(Lookup { session, server.id, server.name });
    lookup.windows = session.windows;
    // Held before this run (a restart): a process with a terminal stays only while it stays the likely one, unless a
    // look proves it; one that is gone stays, so that the session ends with it.
    if (session.current && *session.current != server.id) {
        const std::optional<ProcessFacts> current = factsOf(*session.current);
        if (!current || current->hasTerminal) {
            lookup.tie = session.current;
            lookup.likely = current.has_value();
            lookup.looked = true;
        }
    }
    return lookup;
}

SessionAgentFinder::Verdict SessionAgentFinder::answerOf(const Lookup& lookup)
{
    if (lookup.tie) {
        return { *lookup.tie, {}, lookup.likely, false, lookup.server };
    }
    return { lookup.server, lookup.undecided, false, true, lookup.server };
}

void SessionAgentFinder::dropLikelyBeside(
    const QString& sessionId, const AgentProcessId& server, const SessionFolders& folders)
{
    const QStringList where = m_folders->known(folders).agentFolders();
    QStringList dropped;
    for (Lookup& lookup : m_lookups) {
        // One whose process has ended keeps it: that end ends the session.
        if (lookup.session.id != sessionId && lookup.server == server && lookup.likely && lookup.tie
            && sharesAFolder(m_folders->known(lookup.session.folders), where) && factsOf(*lookup.tie)) {
            retie(lookup, std::nullopt);
            lookup.likely = false;
            lookup.undecided.clear();
            dropped << lookup.session.id;
        }
    }
    for (const QString& id : dropped) {
        if (onLookedUp) {
            onLookedUp(id);
        }
    }
}

void SessionAgentFinder::retie(Lookup& lookup, std::optional<AgentProcessId> tie)
{
    if (lookup.tie && lookup.tie != tie) {
        lookup.letGo = lookup.tie;
    }
    lookup.tie = tie;
}

SessionAgentFinder::Session SessionAgentFinder::asked(const Lookup& lookup) const
{
    Session session = lookup.session;
    session.folders = m_folders->known(session.folders);
    for (OtherSession& other : session.others) {
        other.folders = m_folders->known(other.folders);
        const Lookup* theirs = find(other.id);
        if (!theirs) {
            continue;
        }
        other.hooksProcess = other.hooksProcess.value_or(theirs->server);
        // The list was read when this session spoke, and may still show a tie the other session has lost since (at
        // this very word, beside it): the process it let go is left for this one.
        if (theirs->letGo && other.agent == *theirs->letGo) {
            other.agent = answerOf(*theirs).agent;
        }
    }
    return session;
}

bool SessionAgentFinder::take(Lookup& lookup, const Look& look)
{
    const Verdict before = answerOf(lookup);
    const Session question = asked(lookup);
    ProcessFacts server;
    server.id = lookup.server;
    server.name = lookup.name;
    const Verdict fresh = choose(
        server, look.found, question, !lookup.looked, lookup.likely ? lookup.tie : std::nullopt, lookup.firstWordMs);
    lookup.looked = true;
    lookup.lookedAtMs = m_clock.monotonicMs();
    // A window it saw that another session owns now was never its own; one that is no longer found is gone.
    const std::vector<AgentProcessId> windowsBefore = lookup.windows;
    std::erase_if(lookup.windows, [&](const AgentProcessId& seen) {
        return std::any_of(look.found.begin(), look.found.end(),
            [&](const ProcessFacts& process) { return process.id == seen && ownedByAnother(process, question); });
    });
    const std::vector<AgentProcessId> left = windowsLeft(server, look.found, question);
    for (const AgentProcessId& window : left) {
        if (std::find(lookup.windows.begin(), lookup.windows.end(), window) == lookup.windows.end()) {
            lookup.windows.push_back(window);
        }
    }
    // Those seen longest ago are gone by now; the latest few tell as much.
    if (lookup.windows.size() > keptWindows) {
        lookup.windows.erase(lookup.windows.begin(), lookup.windows.end() - keptWindows);
    }
    // Only a window that could have been its own, gone, leaves it with nothing: a server that never had one beside
    // it may run the session itself (an editor's, a headless run), however many sessions it runs.
    // The processes are read one by one after their list: a window that ended while they were read, beside one
    // that started after the list, leaves none. Nothing left counts once a look begun after this one finds it too.
    const bool leftNothingNow
        = fresh.untold && !lookup.windows.empty() && !question.folders.agentFolders().isEmpty() && left.empty();
    lookup.nothingLeft = leftNothingNow && lookup.leftNothingSeen;
    lookup.leftNothingSeen = leftNothingNow;
    const bool proven = !fresh.untold && !fresh.likely;
    // A tie passes to another process only by proof; a proven one holds while its process runs, and one whose
    // process ended stays so that the session ends with it. Only the likely one is taken back.
    if (!lookup.tie || proven || (lookup.likely && factsOf(*lookup.tie))) {
        retie(lookup, fresh.untold ? std::nullopt : std::optional(fresh.agent));
        lookup.likely = fresh.likely;
        lookup.undecided = fresh.undecided;
    }
    return !(answerOf(lookup) == before) || lookup.windows != windowsBefore;
}

void SessionAgentFinder::startLook(Lookup& lookup)
{
    if (lookup.looking) {
        lookup.again = true;
        return;
    }
    lookup.looking = true;
    lookUp(lookup.session.id);
}

QCoro::Task<> SessionAgentFinder::lookUp(QString sessionId)
{
    QPointer<QObject> alive = m_lifetime.get();
    Lookup* lookup = find(sessionId);
    if (!lookup) {
        co_return;
    }
    const std::optional<Look> looked = co_await look(lookup->name, lookup->session, lookup->server);
    lookup = alive ? find(sessionId) : nullptr;
    if (!lookup) {
        co_return;
    }
    lookup->looking = false;
    // One that ran out proves nothing: what was held stays.
    const bool changed = looked && take(*lookup, *looked);
    if (!looked) {
        lookup->lookedAtMs = m_clock.monotonicMs();
    }
    if (std::exchange(lookup->again, false) || (lookup->leftNothingSeen && !lookup->nothingLeft)) {
        startLook(*lookup);
    }
    if (changed && onLookedUp) {
        onLookedUp(sessionId);
    }
}

QCoro::Task<std::optional<SessionAgentFinder::Look>> SessionAgentFinder::look(
    QString name, Session session, AgentProcessId server)
{
    // Folders are resolved on threads of their own, never the look's: a folder on a mount that stopped answering
    // holds one of those, and no look. The look waits for the session's own folders within its time; one that is
    // still awaited from an earlier look is not asked again, and counts as written. The other sessions' folders are
    // resolved beside it, not waited for.
    QFuture<void> ownResolved
        = m_folders->resolve(std::vector { session.folders }, resolveFolder, common::folderPool());
    std::vector<SessionFolders> others;
    for (const OtherSession& other : session.others) {
        others.push_back(other.folders);
    }
    m_folders->resolve(others, resolveFolder, common::folderPool());
    // The worker owns copies: the finder may be gone by the time it ends, or its wait have run out.
    std::function<std::optional<Look>()> work
        = [list = listProcesses, known = m_folders, name, own = session.folders, server] {
              Look found;
              const QStringList where = known->known(own).agentFolders();
              for (ProcessFacts& process : list ? list(name) : std::vector<ProcessFacts> {}) {
                  if (process.id != server && process.hasTerminal && process.cwd && where.contains(*process.cwd)) {
                      found.found.push_back(std::move(process));
                  }
              }
              return std::optional(std::move(found));
          };
    co_return co_await common::runOffThreadWithin(
        std::move(work), m_clock, lookLimitMs, std::optional<Look> {}, &common::lookPool(), std::move(ownResolved));
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
