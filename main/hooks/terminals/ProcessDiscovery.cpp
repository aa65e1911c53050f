#include "main/hooks/terminals/ProcessDiscovery.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <initializer_list>
#include <utility>

#include <QFileInfo>
#include <QLatin1String>
#include <QSet>

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

bool isOrEndsWith(const QString& executable, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const QLatin1String latin(name);
        if (executable == latin
            || (executable.endsWith(latin) && executable.size() > latin.size()
                && executable[executable.size() - latin.size() - 1] == u'/')) {
            return true;
        }
    }
    return false;
}

std::optional<AgentCLI> classify(const QString& lowered)
{
    const QString executable = firstWord(lowered);
    if (executable.isEmpty()) {
        return std::nullopt;
    }
    if (isOrEndsWith(executable, { "codex" }) || lowered.contains(u"/codex/codex")) {
        return AgentCLI::Codex;
    }
    if (isOrEndsWith(executable, { "claude" })) {
        return AgentCLI::ClaudeCode;
    }
    if (isOrEndsWith(executable, { "gemini" })) {
        return AgentCLI::GeminiCLI;
    }
    if (isOrEndsWith(executable, { "opencode", "opencode-ai" })) {
        return AgentCLI::OpenCode;
    }
    // Package runners count only when they launch OpenCode.
    if (!lowered.contains(u"opencode")) {
        return std::nullopt;
    }
    if (isOrEndsWith(executable, { "npx", "pnpx", "bunx" })) {
        return AgentCLI::OpenCode;
    }
    if (isOrEndsWith(executable, { "npm" }) && (lowered.contains(u" exec ") || lowered.contains(u" run "))) {
        return AgentCLI::OpenCode;
    }
    if (isOrEndsWith(executable, { "pnpm" })
        && (lowered.contains(u" dlx ") || lowered.contains(u" exec ") || lowered.contains(u" run "))) {
        return AgentCLI::OpenCode;
    }
    return std::nullopt;
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

QString toString(AgentCLI kind)
{
    switch (kind) {
    case AgentCLI::ClaudeCode:
        return QStringLiteral("claudeCode");
    case AgentCLI::Codex:
        return QStringLiteral("codex");
    case AgentCLI::OpenCode:
        return QStringLiteral("openCode");
    case AgentCLI::GeminiCLI:
        return QStringLiteral("geminiCLI");
    }
    return {};
}

std::optional<AgentCLI> agentCLIFromString(const QString& rawValue)
{
    for (const AgentCLI kind : { AgentCLI::ClaudeCode, AgentCLI::Codex, AgentCLI::OpenCode, AgentCLI::GeminiCLI }) {
        if (rawValue == toString(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

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
    const QString target = QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget();
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
