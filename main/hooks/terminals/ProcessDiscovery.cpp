#include "main/hooks/terminals/ProcessDiscovery.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <initializer_list>
#include <utility>

#include <QFile>
#include <QFileInfo>
#include <QLatin1String>
#include <QSet>

#include <unistd.h>

#include "main/common/OffThread.h"
#include "main/common/ProcessRunner.h"
#include "main/common/TextUtils.h"
#include "main/hooks/terminals/TerminalHosts.h"

namespace murmeli::hooks {

namespace {

// A multiplexer's server runs the agent, but the terminal that shows it is attached through a client that is no
// ancestor of the agent; whatever hosts the server is not where the agent can be seen.
constexpr std::array multiplexers { QLatin1String("tmux"), QLatin1String("screen") };

// A pid goes into a /proc path and onto lsof's command line, so it must be a plain number.
bool isPid(const QString& pid)
{
    if (pid.isEmpty() || pid.size() > 10) {
        return false;
    }
    for (const QChar c : pid) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

// Both tables compare only the first space-separated word, so a path with a space in it is cut there.
QString firstWord(const QString& command)
{
    qsizetype start = 0;
    while (start < command.size() && command[start] == u' ') {
        ++start;
    }
    const qsizetype end = command.indexOf(u' ', start);
    return command.mid(start, end < 0 ? -1 : end - start);
}

QString baseName(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Runtimes that run an agent's script: node for most agents' tools, python for some.
bool isRuntime(const QString& name)
{
    static const QStringList runtimes { QStringLiteral("node"), QStringLiteral("nodejs"), QStringLiteral("bun"),
        QStringLiteral("deno"), QStringLiteral("python"), QStringLiteral("python3") };
    return runtimes.contains(name) || (name.startsWith(u"python3.") && name.size() > 8);
}

// The words after the first that are no options, in order.
QStringList operands(const QStringList& words)
{
    QStringList found;
    for (qsizetype i = 1; i < words.size(); ++i) {
        if (!words[i].startsWith(u'-')) {
            found.append(words[i]);
        }
    }
    return found;
}

// A script as its agent names it: "/x/bin/gemini", "openclaw.mjs" and "cli.py" give gemini, openclaw and cli.
QString scriptName(const QString& path)
{
    QString name = baseName(path);
    for (const QLatin1String extension :
        { QLatin1String(".js"), QLatin1String(".mjs"), QLatin1String(".cjs"), QLatin1String(".py") }) {
        if (name.endsWith(extension)) {
            name.chop(extension.size());
            break;
        }
    }
    return name;
}

// A package as a runner names it: "opencode-ai@latest" and "@scope/tool@1.2" give opencode-ai and tool.
QString packageName(const QString& spec)
{
    const QString name = baseName(spec);
    const qsizetype version = name.indexOf(u'@', 1);
    return version < 0 ? name : name.left(version);
}

// The tool a package runner starts: npx, pnpx and bunx run their first operand; npm exec and run, and pnpm dlx,
// exec and run, their second.
QString packageStarted(const QString& runner, const QStringList& words)
{
    const QStringList rest = operands(words);
    if (runner == u"npx" || runner == u"pnpx" || runner == u"bunx") {
        return rest.isEmpty() ? QString() : packageName(rest[0]);
    }
    const QStringList subcommands = runner == u"npm" ? QStringList { QStringLiteral("exec"), QStringLiteral("run") }
        : runner == u"pnpm" ? QStringList { QStringLiteral("dlx"), QStringLiteral("exec"), QStringLiteral("run") }
                            : QStringList {};
    return rest.size() >= 2 && subcommands.contains(rest[0]) ? packageName(rest[1]) : QString();
}

// An agent is known by the name of its executable, of the script a runtime runs for it, or of the package a
// runner starts; only the first space-separated word is the executable, so a path with a space in it is cut there.
std::optional<AgentCLI> classify(const QString& lowered)
{
    const QStringList words = lowered.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return std::nullopt;
    }
    const QString executable = baseName(words[0]);
    QString name = executable;
    if (isRuntime(executable)) {
        const QStringList rest = operands(words);
        name = rest.isEmpty() ? QString() : scriptName(rest[0]);
    } else if (!AgentAdapters::runningAs(executable)) {
        name = packageStarted(executable, words);
    }
    const AgentAdapter* adapter = AgentAdapters::runningAs(name);
    return adapter ? std::optional(adapter->id) : std::nullopt;
}

std::optional<QString> terminalName(const QString& lowered)
{
    if (lowered.contains(u"/iterm.app/contents/macos/iterm2")) {
        return QStringLiteral("iTerm");
    }
    if (lowered.contains(u"/terminal.app/contents/macos/terminal")) {
        return QStringLiteral("Terminal");
    }
    if (lowered.contains(u"/ghostty.app/contents/macos/ghostty") || lowered.endsWith(u"/ghostty")) {
        return QStringLiteral("Ghostty");
    }
    if (lowered.contains(u"/warp.app/") || lowered.endsWith(u"/warp")) {
        return QStringLiteral("Warp");
    }
    if (lowered.contains(u"/wezterm.app/contents/macos/wezterm-gui") || lowered.endsWith(u"/wezterm-gui")) {
        return QStringLiteral("WezTerm");
    }
    if (lowered.contains(u"/visual studio code.app/") || lowered.contains(u"/code helper")) {
        return QStringLiteral("VS Code");
    }
    if (lowered.contains(u"/cursor.app/")) {
        return QStringLiteral("Cursor");
    }
    if (lowered.contains(u"/windsurf.app/")) {
        return QStringLiteral("Windsurf");
    }
    const QString executable = firstWord(lowered);
    const QString name = executable.mid(executable.lastIndexOf(u'/') + 1);
    if (const TerminalHost* host = terminalHostByExecutable(name)) {
        return QString(host->name);
    }
    return std::nullopt;
}

bool isMultiplexer(const QString& lowered)
{
    const QString executable = firstWord(lowered);
    const QString name = executable.mid(executable.lastIndexOf(u'/') + 1);
    return std::find(multiplexers.begin(), multiplexers.end(), name) != multiplexers.end();
}

std::optional<QString> hostApplication(QString pid, const ProcessTable& table)
{
    QSet<QString> visited;
    while (!pid.isEmpty()) {
        // A chain that reaches init or the kernel has passed every application that could host a terminal.
        if (pid == u"0" || pid == u"1" || visited.contains(pid)) {
            return std::nullopt;
        }
        visited.insert(pid);
        const ProcessRow* parent = table.find(pid);
        if (!parent) {
            return std::nullopt;
        }
        const QString lowered = parent->command.toLower();
        if (auto name = terminalName(lowered)) {
            return name;
        }
        if (isMultiplexer(lowered)) {
            return std::nullopt;
        }
        pid = parent->ppid;
    }
    return std::nullopt;
}

std::optional<QString> cwdFromLsof(const QString& output)
{
    const QStringList lines = common::text::nonEmptyLines(output);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != u"fcwd" || !lines[i + 1].startsWith(u'n')) {
            continue;
        }
        const QString path = lines[i + 1].mid(1).trimmed();
        if (path.startsWith(u'/')) {
            return path;
        }
    }
    return std::nullopt;
}

} // namespace

ProcessDiscovery::ProcessDiscovery(RunCommand runner) : runCommand(std::move(runner)) { }

std::vector<AgentProcess> ProcessDiscovery::discoverAll() const
{
    const std::optional<ProcessTable> table = ProcessTable::read(runCommand);
    return table ? discoverIn(*table) : std::vector<AgentProcess> {};
}

std::vector<AgentProcess> ProcessDiscovery::discoverIn(const ProcessTable& table) const
{
    std::vector<AgentProcess> agents;
    for (const ProcessRow& process : table.rows()) {
        const std::optional<AgentCLI> kind = classify(process.command.toLower());
        if (!kind) {
            continue;
        }
        AgentProcess agent;
        agent.pid = process.pid;
        agent.ppid = process.ppid;
        agent.tty = process.tty;
        agent.cwd = workingDirectory(process.pid);
        agent.cliKind = *kind;
        agent.terminalApp = hostApplication(process.ppid, table);
        agents.push_back(std::move(agent));
    }
    return agents;
}

std::optional<AgentProcess> ProcessDiscovery::discoverActiveAgent(std::optional<qint64> frontmostTerminalPid) const
{
    Q_UNUSED(frontmostTerminalPid);
    std::vector<AgentProcess> agents = discoverAll();
    if (agents.empty()) {
        return std::nullopt;
    }
    return std::move(agents.front());
}

std::optional<AgentProcess> ProcessDiscovery::agentOfSession(
    const std::vector<AgentProcess>& agents, const SessionFolders& folders, const std::optional<AgentProcessId>& known)
{
    if (known && known->isRunning()) {
        const QString pid = known->pidText();
        const auto found
            = std::find_if(agents.begin(), agents.end(), [&](const AgentProcess& agent) { return agent.pid == pid; });
        if (found != agents.end()) {
            return *found;
        }
    }
    for (const QString& folder : folders.agentFolders()) {
        const auto found = std::find_if(
            agents.begin(), agents.end(), [&](const AgentProcess& agent) { return agent.cwd == folder; });
        if (found != agents.end()) {
            return *found;
        }
    }
    return std::nullopt;
}

QCoro::Task<std::vector<AgentProcess>> ProcessDiscovery::discoverAllAsync() const
{
    // The worker takes a copy: the caller may drop this object before the children are done.
    std::function<std::vector<AgentProcess>()> work = [self = *this] { return self.discoverAll(); };
    co_return co_await common::runOffThread(std::move(work));
}

std::optional<QString> ProcessDiscovery::defaultRunner(const QString& program, const QStringList& args)
{
    common::ProcessRequest request;
    request.program = program;
    request.arguments = args;
    request.timeout = std::chrono::milliseconds(commandTimeLimitMs);
    const common::ProcessResult result = common::runProcessBlocking(request);
    // The exit status is not consulted: lsof exits 1 whenever one entry cannot be read, yet prints the rest.
    if (!result.started || result.timedOut || result.outputTruncated) {
        return std::nullopt;
    }
    return common::text::decodeUtf8Strictly(result.standardOutput);
}

std::optional<QString> ProcessDiscovery::procWorkingDirectory(const QString& pid)
{
    if (!isPid(pid)) {
        return std::nullopt;
    }
    // readlink alone: the kernel names the folder without a look at it, which at a mount that stopped answering
    // would block (QFileInfo's link target also asks whether it is a folder).
    std::array<char, 4096> buffer {};
    const QByteArray link = QFile::encodeName(QStringLiteral("/proc/%1/cwd").arg(pid));
    const ssize_t length = ::readlink(link.constData(), buffer.data(), buffer.size());
    if (length <= 0 || std::size_t(length) >= buffer.size()) {
        return std::nullopt;
    }
    const QString target = QFile::decodeName(QByteArray(buffer.data(), length));
    if (!target.startsWith(u'/')) {
        return std::nullopt;
    }
    return target;
}

std::optional<QString> ProcessDiscovery::workingDirectory(const QString& pid) const
{
    if (!isPid(pid)) {
        return std::nullopt;
    }
    if (kernelWorkingDirectory) {
        if (auto directory = kernelWorkingDirectory(pid)) {
            return directory;
        }
    }
    if (!runCommand) {
        return std::nullopt;
    }
    // Without a readable /proc entry (another user's process) lsof may still know; when neither of its usual homes
    // holds it, the runner's launch failure gives the same nothing.
    const QString lsof = QFileInfo::exists(QStringLiteral("/usr/bin/lsof")) ? QStringLiteral("/usr/bin/lsof")
                                                                            : QStringLiteral("/usr/sbin/lsof");
    const std::optional<QString> output
        = runCommand(lsof, { QStringLiteral("-a"), QStringLiteral("-p"), pid, QStringLiteral("-Fn") });
    if (!output) {
        return std::nullopt;
    }
    return cwdFromLsof(*output);
}

} // namespace murmeli::hooks
