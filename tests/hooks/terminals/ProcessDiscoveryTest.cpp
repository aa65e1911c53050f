#include "main/hooks/terminals/ProcessDiscovery.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <QCoroTask>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "main/common/ProcessRunner.h"
#include "main/common/TextUtils.h"

namespace murmeli::hooks {
namespace {

const QStringList psArguments { QStringLiteral("-Ao"), QStringLiteral("pid=,ppid=,tty=,command=") };

// Stands in for ps and lsof: answers from a fixed listing and per-pid lsof texts, and records every call.
class ScriptedSystem {
public:
    QString listing;
    QHash<QString, QString> lsofByPid;
    std::vector<std::pair<QString, QStringList>> calls;
    QThread* runnerThread = nullptr;

    ProcessDiscovery discovery()
    {
        ProcessDiscovery discovery([this](const QString& program, const QStringList& args) -> std::optional<QString> {
            calls.emplace_back(program, args);
            runnerThread = QThread::currentThread();
            const QString name = QFileInfo(program).fileName();
            if (name == u"ps" && args == psArguments) {
                return listing;
            }
            if (name == u"lsof" && args.size() == 4 && args[0] == u"-a" && args[1] == u"-p" && args[3] == u"-Fn"
                && lsofByPid.contains(args[2])) {
                return lsofByPid.value(args[2]);
            }
            return std::nullopt;
        });
        // The machine's own /proc must not answer for the made-up pids of these listings.
        discovery.kernelWorkingDirectory = [](const QString&) { return std::nullopt; };
        return discovery;
    }

    int lsofCalls() const
    {
        int count = 0;
        for (const auto& call : calls) {
            count += QFileInfo(call.first).fileName() == u"lsof" ? 1 : 0;
        }
        return count;
    }
};

std::vector<AgentProcess> discover(const QString& listing)
{
    ScriptedSystem system;
    system.listing = listing;
    return system.discovery().discoverAll();
}

std::optional<QString> hostOf(const QString& listing, const QString& agentPid)
{
    for (const AgentProcess& agent : discover(listing)) {
        if (agent.pid == agentPid) {
            return agent.terminalApp;
        }
    }
    ADD_FAILURE() << "no agent with pid " << agentPid.toStdString();
    return std::nullopt;
}

TEST(ProcessDiscoveryListing, ColumnsSeparatedByRunsOfSpaces)
{
    ScriptedSystem system;
    system.listing = "  4711   812 ttys003    /usr/local/bin/claude   --resume  \n";
    const std::vector<AgentProcess> agents = system.discovery().discoverAll();

    ASSERT_EQ(system.calls.size(), 2u);
    EXPECT_TRUE(system.calls[0].first == u"/bin/ps" || system.calls[0].first == u"/usr/bin/ps");
    EXPECT_EQ(system.calls[0].second, psArguments);

    AgentProcess expected;
    expected.pid = "4711";
    expected.ppid = "812";
    expected.tty = "/dev/ttys003";
    expected.cliKind = AgentCLI::ClaudeCode;
    ASSERT_EQ(agents.size(), 1u);
    EXPECT_EQ(agents[0], expected);
}

TEST(ProcessDiscoveryListing, TtyColumnBecomesADevicePathOrNothing)
{
    const auto agents = discover("10 1 ?? claude\n"
                                 "11 1 ? claude\n"
                                 "12 1 pts/3 claude\n"
                                 "13 1 /dev/ttys001 claude\n");
    ASSERT_EQ(agents.size(), 4u);
    EXPECT_EQ(agents[0].tty, std::nullopt);
    EXPECT_EQ(agents[1].tty, std::nullopt);
    EXPECT_EQ(agents[2].tty, "/dev/pts/3");
    EXPECT_EQ(agents[3].tty, "/dev/ttys001");
}

TEST(ProcessDiscoveryListing, EveryLineBreakSplitsAndShortLinesAreSkipped)
{
    const QString listing = QString("1 0 ? claude\r\n2 0 ? claude") + QChar(0x2028) + "3 0 ? claude" + QChar(0x85)
        + "4 0 ? claude\f5 0 ?\n   \t \n6 0 ? claude\v7 0 ? claude" + QChar(0x2029) + "8 0\tpts/1\tclaude";
    std::vector<QString> pids;
    for (const AgentProcess& agent : discover(listing)) {
        pids.push_back(agent.pid);
    }
    EXPECT_EQ(pids, (std::vector<QString> { "1", "2", "3", "4", "6", "7", "8" }));
}

TEST(ProcessDiscoveryListing, NoListingGivesNoAgents)
{
    ProcessDiscovery failing([](const QString&, const QStringList&) { return std::nullopt; });
    EXPECT_TRUE(failing.discoverAll().empty());
    EXPECT_EQ(failing.discoverActiveAgent(42), std::nullopt);
    EXPECT_TRUE(discover("").empty());
    EXPECT_TRUE(discover("garbage\n\n").empty());
}

TEST(ProcessDiscoveryClassification, FirstMatchingRuleDecides)
{
    const std::vector<std::pair<QString, std::optional<AgentCLI>>> cases {
        { "/usr/local/bin/claude --resume", AgentCLI::ClaudeCode },
        { "/usr/bin/CLAUDE", AgentCLI::ClaudeCode },
        { "node /opt/tools/bin/claude", AgentCLI::ClaudeCode },
        { "node /usr/lib/node_modules/codex/codex", AgentCLI::Codex },
        { "/opt/codex --model x", AgentCLI::Codex },
        { "gemini", AgentCLI::Gemini },
        // Most agents' tools are scripts a runtime runs, and every agent of the adapter table counts.
        { "node /home/u/.npm/bin/gemini -m flash -p hi", AgentCLI::Gemini },
        { "/usr/bin/node --max-old-space-size=8192 /opt/qwen-code/bin/qwen --approval-mode yolo", AgentCLI::QwenCode },
        { "node /usr/lib/node_modules/openclaw/openclaw.mjs agent --local", AgentCLI::OpenClaw },
        { "qodercli -p hi", AgentCLI::Qoder },
        { "/usr/local/bin/codebuddy", AgentCLI::CodeBuddy },
        { "python3.12 /home/u/.local/bin/kimi", AgentCLI::Kimi },
        { "npx -y opencode-ai@latest", AgentCLI::OpenCode },
        { "node /srv/app/server.js", std::nullopt },
        { "bash /peers/run-codex home work prompt", std::nullopt },
        { "timeout 60 /opt/codex exec", std::nullopt },
        { "/home/u/.bin/opencode", AgentCLI::OpenCode },
        { "opencode-ai serve", AgentCLI::OpenCode },
        { "npx opencode", AgentCLI::OpenCode },
        { "bunx opencode-ai", AgentCLI::OpenCode },
        { "/usr/bin/pnpx opencode", AgentCLI::OpenCode },
        { "pnpm dlx opencode", AgentCLI::OpenCode },
        { "pnpm install opencode", std::nullopt },
        { "npm install opencode", std::nullopt },
        { "npm run opencode", AgentCLI::OpenCode },
        { "npx prettier --write .", std::nullopt },
        { "/usr/bin/xclaude", std::nullopt },
        { "claude-helper", std::nullopt },
        // Only the first space-separated word is the executable.
        { "/opt/my tools/claude --resume", std::nullopt },
        { "/opt/claude dir/bin/tool", AgentCLI::ClaudeCode },
    };
    QString listing;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        listing += QStringLiteral("%1 1 ? %2\n").arg(100 + i).arg(cases[i].first);
    }
    QHash<QString, AgentCLI> found;
    for (const AgentProcess& agent : discover(listing)) {
        found.insert(agent.pid, agent.cliKind);
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first.toStdString());
        const QString pid = QString::number(100 + i);
        EXPECT_EQ(found.contains(pid) ? std::optional(found.value(pid)) : std::nullopt, cases[i].second);
    }
}

TEST(ProcessDiscoveryParentWalk, ClimbsSeveralParentsToTheTerminal)
{
    const QString listing = "100 1 ?? /Applications/iTerm.app/Contents/MacOS/iTerm2\n"
                            "150 100 ttys002 /usr/bin/login -fp me\n"
                            "200 150 ttys002 -zsh\n"
                            "300 200 ttys002 claude\n";
    EXPECT_EQ(hostOf(listing, "300"), "iTerm");
}

TEST(ProcessDiscoveryParentWalk, ParentsNamedByPathOrExecutable)
{
    const std::vector<std::pair<QString, std::optional<QString>>> parents {
        { "/usr/libexec/gnome-terminal-server", "GNOME Terminal" },
        { "/usr/bin/konsole --nofork", "Konsole" },
        { "/usr/bin/Alacritty", "Alacritty" },
        { "/usr/bin/xfce4-terminal", "Xfce Terminal" },
        { "/usr/bin/wezterm-gui start", "WezTerm" },
        { "/usr/share/code/code --type=utility --utility-sub-type=node.mojom.NodeService", "VS Code" },
        { "/opt/Editor/Code Helper (Plugin) --type=utility", "VS Code" },
        { "/usr/bin/urxvt -e bash", "URxvt" },
        { "/usr/local/bin/st", "st" },
        { "/usr/bin/foot", "foot" },
        { "/usr/share/codium/codium --type=utility", "VSCodium" },
        { "/usr/bin/stterm", std::nullopt },
        { "/usr/bin/kitty-launcher", std::nullopt },
        { "/bin/bash -c kitty", std::nullopt },
    };
    for (const auto& [command, expected] : parents) {
        SCOPED_TRACE(command.toStdString());
        const QString listing = QStringLiteral("500 1 ? %1\n600 500 pts/0 bash\n700 600 pts/0 claude\n").arg(command);
        EXPECT_EQ(hostOf(listing, "700"), expected);
    }
}

TEST(ProcessDiscoveryParentWalk, ChainsWithoutATerminalEndEmpty)
{
    // A multiplexer server started by init: the walk reaches pid 1 before any application.
    EXPECT_EQ(hostOf("30 1 ? SCREEN -S x\n31 30 pts/1 bash\n32 31 pts/1 claude\n", "32"), std::nullopt);
    EXPECT_EQ(hostOf("30 1 ? tmux new-session -s work\n31 30 pts/1 bash\n32 31 pts/1 claude\n", "32"), std::nullopt);
    // A multiplexer is no terminal, and the terminal that started its server is not where the agent shows.
    EXPECT_EQ(hostOf("29 1 ? /usr/bin/konsole\n30 29 ? /usr/bin/tmux -D\n31 30 pts/1 bash\n32 31 pts/1 claude\n", "32"),
        std::nullopt);
    // A parent that is not in the listing.
    EXPECT_EQ(hostOf("40 39 pts/1 claude\n", "40"), std::nullopt);
    // A loop in the parent chain ends the walk instead of spinning.
    EXPECT_EQ(hostOf("10 11 ? bash\n11 10 ? bash\n12 10 ? claude\n", "12"), std::nullopt);
    EXPECT_EQ(hostOf("20 20 ? claude\n", "20"), std::nullopt);
}

TEST(ProcessDiscoveryWorkingDirectory, LsofCwdEntryIsTaken)
{
    const std::vector<std::pair<QString, std::optional<QString>>> outputs {
        { "p4711\nfcwd\nn/Users/me/project\nftxt\nn/usr/bin/claude\n", "/Users/me/project" },
        { "fcwd\nn  /spaced/dir \t\n", "/spaced/dir" },
        { "fcwd\r\nn/crlf\r\n", "/crlf" },
        { "fcwd\nx/not-a-name\nfcwd\nn/later\n", "/later" },
        { "fcwd\nnrelative/dir\nfcwd\nn/absolute\n", "/absolute" },
        { "fcwd\nnrelative/dir\n", std::nullopt },
        { "ftxt\nn/usr/bin/claude\nfcwd", std::nullopt },
        { "FCWD\nn/upper\n", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& [output, expected] : outputs) {
        SCOPED_TRACE(output.toStdString());
        ScriptedSystem system;
        system.listing = "4711 1 ? claude\n";
        system.lsofByPid.insert("4711", output);
        const auto agents = system.discovery().discoverAll();
        ASSERT_EQ(agents.size(), 1u);
        EXPECT_EQ(agents[0].cwd, expected);
        ASSERT_EQ(system.calls.size(), 2u);
        EXPECT_EQ(system.calls[1].second, (QStringList { "-a", "-p", "4711", "-Fn" }));
    }
}

TEST(ProcessDiscoveryWorkingDirectory, PidThatIsNotANumberIsNeverUsed)
{
    ScriptedSystem system;
    system.listing = "12a 1 ? claude\n-1 1 ? claude\n4711;x 1 ? claude\n";
    ProcessDiscovery discovery = system.discovery();
    int kernelAsks = 0;
    discovery.kernelWorkingDirectory = [&kernelAsks](const QString&) -> std::optional<QString> {
        ++kernelAsks;
        return QStringLiteral("/wrong");
    };
    const auto agents = discovery.discoverAll();
    ASSERT_EQ(agents.size(), 3u);
    for (const AgentProcess& agent : agents) {
        EXPECT_EQ(agent.cwd, std::nullopt);
    }
    EXPECT_EQ(kernelAsks, 0);
    EXPECT_EQ(system.lsofCalls(), 0);

    EXPECT_EQ(ProcessDiscovery::procWorkingDirectory("self"), std::nullopt);
    EXPECT_EQ(ProcessDiscovery::procWorkingDirectory("../1"), std::nullopt);
    EXPECT_EQ(ProcessDiscovery::procWorkingDirectory(""), std::nullopt);
}

TEST(ProcessDiscoveryWorkingDirectory, ProcGivesThisProcessesDirectory)
{
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    EXPECT_EQ(ProcessDiscovery::procWorkingDirectory(ownPid), QDir::currentPath());

    // Through discovery with the default kernel source: lsof is not needed.
    ScriptedSystem system;
    system.listing = QStringLiteral("%1 1 ? claude\n").arg(ownPid);
    ProcessDiscovery discovery = system.discovery();
    discovery.kernelWorkingDirectory = &ProcessDiscovery::procWorkingDirectory;
    const auto agents = discovery.discoverAll();
    ASSERT_EQ(agents.size(), 1u);
    EXPECT_EQ(agents[0].cwd, QDir::currentPath());
    EXPECT_EQ(system.lsofCalls(), 0);
}

TEST(ProcessDiscoveryActiveAgent, FirstListedWhateverThePid)
{
    const QString listing = "10 1 ? bash\n20 1 pts/1 codex\n30 1 pts/2 claude\n";
    ScriptedSystem system;
    system.listing = listing;
    const ProcessDiscovery discovery = system.discovery();
    for (const std::optional<qint64> frontmost : { std::optional<qint64>(), std::optional<qint64>(30) }) {
        const auto active = discovery.discoverActiveAgent(frontmost);
        ASSERT_TRUE(active.has_value());
        EXPECT_EQ(active->pid, "20");
        EXPECT_EQ(active->cliKind, AgentCLI::Codex);
    }
}

TEST(ProcessDiscoveryAsync, ResumesOnTheCallingThreadWithTheSameResult)
{
    ScriptedSystem system;
    system.listing = "20 1 pts/1 codex\n30 1 pts/2 claude\n";
    system.lsofByPid.insert("30", "fcwd\nn/work\n");
    const ProcessDiscovery discovery = system.discovery();
    const std::vector<AgentProcess> direct = discovery.discoverAll();

    system.runnerThread = nullptr;
    std::vector<AgentProcess> viaWorker;
    QThread* resumedOn = nullptr;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        viaWorker = co_await discovery.discoverAllAsync();
        resumedOn = QThread::currentThread();
    }());

    EXPECT_EQ(viaWorker, direct);
    ASSERT_EQ(direct.size(), 2u);
    EXPECT_EQ(direct[1].cwd, "/work");
    EXPECT_NE(system.runnerThread, nullptr);
    EXPECT_NE(system.runnerThread, QThread::currentThread());
    EXPECT_EQ(resumedOn, QThread::currentThread());
}

TEST(ProcessDiscoveryDefaultRunner, StandardOutputAsTextOrNothing)
{
    EXPECT_EQ(ProcessDiscovery::defaultRunner("/bin/echo", { "$HOME", "a;b" }), "$HOME a;b\n");
    // The exit status is not consulted.
    EXPECT_EQ(ProcessDiscovery::defaultRunner("/bin/sh", { "-c", "printf partial; exit 1" }), "partial");
    EXPECT_EQ(ProcessDiscovery::defaultRunner("/nonexistent/ps", {}), std::nullopt);
    EXPECT_EQ(ProcessDiscovery::defaultRunner("/bin/sh", { "-c", "printf 'a\\377b'" }), std::nullopt);
}

TEST(ProcessDiscoveryDefaultRunner, LoudStandardErrorDoesNotStallTheChild)
{
    // Far more than a pipe holds: an undrained standard error would block the child until the time limit.
    QElapsedTimer elapsed;
    elapsed.start();
    const auto output = ProcessDiscovery::defaultRunner(
        "/bin/sh", { "-c", "head -c 4000000 /dev/zero >&2; echo done; head -c 1000000 /dev/zero >&2" });
    EXPECT_EQ(output, "done\n");
    EXPECT_LT(elapsed.elapsed(), ProcessDiscovery::commandTimeLimitMs);
}

TEST(ProcessDiscoveryDefaultRunner, ChildPastTheTimeLimitIsKilled)
{
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(ProcessDiscovery::defaultRunner("/bin/sleep", { "30" }), std::nullopt);
    EXPECT_GE(elapsed.elapsed(), ProcessDiscovery::commandTimeLimitMs - 100);
    EXPECT_LT(elapsed.elapsed(), ProcessDiscovery::commandTimeLimitMs + 3000);
}

TEST(ProcessDiscoveryDefaultRunner, StoppedChildIsGoneWhenTheRunReturns)
{
    common::ProcessRequest request;
    request.program = "/bin/sh";
    request.arguments = { "-c", "echo $$; exec sleep 30" };
    request.timeout = std::chrono::milliseconds(300);
    const common::ProcessResult result = common::runProcessBlocking(request);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    bool isNumber = false;
    const pid_t child = QString::fromUtf8(result.standardOutput).trimmed().toInt(&isNumber);
    ASSERT_TRUE(isNumber && child > 1) << result.standardOutput.toStdString();
    errno = 0;
    EXPECT_EQ(::kill(child, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(ProcessDiscoveryOnThisMachine, FindsAChildNamedLikeAnAgentWithItsDirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fakeAgent = dir.filePath("claude");
    ASSERT_TRUE(QFile::link("/bin/sleep", fakeAgent));
    QProcess child;
    child.setWorkingDirectory(dir.path());
    child.start(fakeAgent, { "30" });
    ASSERT_TRUE(child.waitForStarted());
    const QString childPid = QString::number(child.processId());

    const std::vector<AgentProcess> agents = ProcessDiscovery().discoverAll();
    child.kill();
    child.waitForFinished();

    const auto found = std::find_if(agents.begin(), agents.end(), [&](const auto& a) { return a.pid == childPid; });
    ASSERT_NE(found, agents.end());
    EXPECT_EQ(found->ppid, QString::number(QCoreApplication::applicationPid()));
    EXPECT_EQ(found->cliKind, AgentCLI::ClaudeCode);
    EXPECT_EQ(found->cwd, QFileInfo(dir.path()).canonicalFilePath());
}

AgentProcess agentIn(const QString& pid, const QString& folder)
{
    AgentProcess agent;
    agent.pid = pid;
    agent.cwd = folder;
    return agent;
}

TEST(ProcessDiscoveryAgentOfSession, TheProcessItsHooksNamedWhileItRunsElseTheFirstInItsFolder)
{
    const std::optional<AgentProcessId> me = AgentProcessId::ofPid(QCoreApplication::applicationPid());
    ASSERT_TRUE(me);
    QProcess child;
    child.start(QStringLiteral("sleep"), { QStringLiteral("30") });
    ASSERT_TRUE(child.waitForStarted());
    const std::optional<AgentProcessId> exited = AgentProcessId::ofPid(child.processId());
    child.kill();
    child.waitForFinished();
    ASSERT_TRUE(exited);
    const QString self = me->pidText();
    // Two agents in one folder, the test's own process the second; a third elsewhere.
    const std::vector<AgentProcess> agents { agentIn(QStringLiteral("4100"), QStringLiteral("/work/shared")),
        agentIn(self, QStringLiteral("/work/shared")), agentIn(QStringLiteral("4300"), QStringLiteral("/work/other")) };
    const struct {
        const char* name;
        SessionFolders folders;
        std::optional<AgentProcessId> known;
        QString expected;
    } cases[] = {
        { "its own process, the second in its folder", { "/work/shared", "/work/shared" }, me, self },
        { "its shell tool went into another agent's folder", { "/work/other", "/work/shared" }, me, self },
        { "no folder known", {}, me, self },
        { "nothing named: the first agent in its folder", { "/work/shared", "/work/shared" }, std::nullopt, "4100" },
        { "the named process exited", { "/work/other", "/work/shared" }, exited, "4300" },
        { "its pid was given to another process since", { "/work/shared", {} },
            AgentProcessId { me->pid, me->startTicks + 1 }, "4100" },
        { "the named process runs but is no agent found", { "/work/other", {} }, AgentProcessId::ofPid(::getppid()),
            "4300" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<AgentProcess> chosen = ProcessDiscovery::agentOfSession(agents, c.folders, c.known);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->pid.toStdString(), c.expected.toStdString());
    }
    EXPECT_EQ(ProcessDiscovery::agentOfSession(agents, { "/work/none", {} }, exited), std::nullopt);

    // A server without a terminal runs every session's hooks (Codex's shared one): which codex with a terminal is the
    // session's own is SessionAgentFinder's to tell; a server named is taken as it is, never the first one in the
    // folder (this encoded that guess before).
    std::vector<AgentProcess> withServer = agents;
    withServer[1].cliKind = AgentCLI::Codex;
    withServer.push_back(agentIn(QStringLiteral("4500"), QStringLiteral("/work/shared")));
    withServer.back().tty = QStringLiteral("/dev/pts/5");
    withServer.back().cliKind = AgentCLI::Codex;
    const auto own = ProcessDiscovery::agentOfSession(withServer, { "/work/shared", {} }, me);
    EXPECT_EQ(own ? own->pid : QString(), self);
}

} // namespace
} // namespace murmeli::hooks
