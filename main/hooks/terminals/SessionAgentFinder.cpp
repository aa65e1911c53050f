#include "main/hooks/terminals/SessionAgentFinder.h"

#include <algorithm>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <unistd.h>

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

std::optional<ProcessFacts> factsOf(qint64 pid, qint64 boot, const QString& name = {})
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

// Of several processes that fit, the one of the session; see the class's comment.
const ProcessFacts* likeliest(const std::vector<const ProcessFacts*>& fits, const QString& sessionId)
{
    if (!sessionId.isEmpty()) {
        for (const ProcessFacts* fit : fits) {
            if (fit->commandLine.contains(sessionId)) {
                return fit;
            }
        }
    }
    const std::optional<qint64> created = SessionAgentFinder::idCreatedMs(sessionId);
    const auto latest = [&](bool onlyBeforeCreation) -> const ProcessFacts* {
        const ProcessFacts* best = nullptr;
        for (const ProcessFacts* fit : fits) {
            if (onlyBeforeCreation && fit->startedMs > *created) {
                continue;
            }
            if (!best || fit->startedMs > best->startedMs) {
                best = fit;
            }
        }
        return best;
    };
    const ProcessFacts* beforeCreation = created ? latest(true) : nullptr;
    return beforeCreation ? beforeCreation : latest(false);
}

} // namespace

AgentProcessId SessionAgentFinder::ownAgent(const AgentProcessId& named, const Session& session) const
{
    const std::optional<ProcessFacts> facts = readProcess ? readProcess(named.pid) : std::nullopt;
    if (!facts || facts->id != named || facts->hasTerminal) {
        return named;
    }
    // Kept while it runs: one look through the processes serves all the session's events.
    if (session.current && *session.current != named) {
        const std::optional<ProcessFacts> current = readProcess(session.current->pid);
        if (current && current->id == *session.current) {
            return *session.current;
        }
    }
    const std::optional<ProcessFacts> own
        = listProcesses ? choose(*facts, listProcesses(facts->name), session) : std::nullopt;
    return own ? own->id : named;
}

std::optional<ProcessFacts> SessionAgentFinder::choose(
    const ProcessFacts& named, const std::vector<ProcessFacts>& processes, const Session& session)
{
    if (named.hasTerminal) {
        return std::nullopt;
    }
    for (const QString& folder : session.folders.agentFolders()) {
        std::vector<const ProcessFacts*> fits;
        for (const ProcessFacts& process : processes) {
            if (process.id != named.id && process.name == named.name && process.hasTerminal && process.cwd
                && !holds(session.heldByOthers, process.id) && SessionFolders::resolved(*process.cwd) == folder) {
                fits.push_back(&process);
            }
        }
        if (!fits.empty()) {
            return *likeliest(fits, session.id);
        }
    }
    return std::nullopt;
}

std::optional<qint64> SessionAgentFinder::idCreatedMs(const QString& sessionId)
{
    // "0190b3c2-7d1e-7abc-...": the version is the first digit of the third group.
    if (sessionId.size() != 36 || sessionId[8] != u'-' || sessionId[13] != u'-' || sessionId[14] != u'7') {
        return std::nullopt;
    }
    bool isNumber = false;
    const qint64 ms = (sessionId.left(8) + sessionId.mid(9, 4)).toLongLong(&isNumber, 16);
    return isNumber ? std::optional(ms) : std::nullopt;
}

std::optional<ProcessFacts> SessionAgentFinder::kernelProcess(qint64 pid)
{
    const std::optional<qint64> boot = bootMs();
    return boot ? factsOf(pid, *boot) : std::nullopt;
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
            if (auto facts = factsOf(pid, *boot, name)) {
                processes.push_back(std::move(*facts));
            }
        }
    }
    return processes;
}

} // namespace murmeli::hooks
