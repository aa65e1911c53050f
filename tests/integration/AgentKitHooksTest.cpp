#include <gtest/gtest.h>

#include <csignal>
#include <optional>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/hooks/terminals/ProcessDiscovery.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/AgentKitPeer.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Files.h"
#include "tests/support/OwnMurmeli.h"
#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using hooks::ApprovalDecision;
using test::AgentKitPeer;
using test::waitUntil;
using Agent = test::AgentKitPeer::Agent;

namespace {

constexpr int agentLimitMs = 240000;

// Codex's own question, on its screen when it asks the user itself rather than take its hook's answer.
const QLatin1String codexAsksItself("Would you like to run the following command?");

// A port nobody listens on now, for a peer that must be told its port before it starts.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// An agent's interactive screen in a detached tmux session, against the kit's scripted model, with its first prompt
// given on its command line: the one-shot modes never ask for a permission, these screens do.
class AgentScreen final {
public:
    /// command: the words of the agent's command line (run in the working folder), given the scripted model's port.
    AgentScreen(const QString& work, const QProcessEnvironment& environment,
        const std::function<QStringList(quint16 modelPort)>& command)
        : m_session(QStringLiteral("murmeli-agent-%1-%2").arg(QCoreApplication::applicationPid()).arg(++s_screens))
    {
        const quint16 port = freePort();
        m_model.start(QStringLiteral("python3"), { AgentKitPeer::modelScript(), QString::number(port) });
        // An agent that finds no model at its first request may give up; on a loaded machine python3 takes a while.
        waitUntil(
            [port] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(200);
            },
            10000);
        // The pane outlives the agent, so that a test that fails can show what the agent said last.
        QFile config(m_config.filePath(QStringLiteral("tmux.conf")));
        if (config.open(QIODevice::WriteOnly)) {
            config.write("set -g remain-on-exit on\n");
        }
        QStringList words { QStringLiteral("env") };
        for (const QString& key : environment.keys()) {
            words << key + QLatin1Char('=') + environment.value(key);
        }
        words << command(port);
        QStringList quoted;
        for (const QString& word : words) {
            quoted << QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
                    + QLatin1Char('\'');
        }
        tmux({ QStringLiteral("new-session"), QStringLiteral("-d"), QStringLiteral("-s"), m_session,
            QStringLiteral("-c"), work, QStringLiteral("-x"), QStringLiteral("160"), QStringLiteral("-y"),
            QStringLiteral("45"), quoted.join(QLatin1Char(' ')) });
    }

    ~AgentScreen()
    {
        // The pane's process leads a group of its own; ended with its helpers before the test removes their folders.
        const pid_t pane = tmux({ QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"),
                                    m_session, QStringLiteral("#{pane_pid}") })
                               .trimmed()
                               .toInt();
        if (pane > 0) {
            ::kill(-pane, SIGKILL);
        }
        tmux({ QStringLiteral("kill-server") });
        m_model.kill();
        m_model.waitForFinished(5000);
    }

    QString text()
    {
        return tmux({ QStringLiteral("capture-pane"), QStringLiteral("-p"), QStringLiteral("-t"), m_session });
    }

    /// Types keys into the agent's screen, as tmux names them ("Escape", "Enter").
    void sendKeys(const QStringList& keys)
    {
        tmux(QStringList { QStringLiteral("send-keys"), QStringLiteral("-t"), m_session } + keys);
    }

    /// Types a prompt: Enter only once the text shows, so that it is not taken as part of a paste.
    bool prompt(const QString& line)
    {
        sendKeys({ line });
        const bool shown = waitUntil([&] { return text().contains(line); }, 30000);
        sendKeys({ QStringLiteral("Enter") });
        return shown;
    }

    /// Whether the agent still runs.
    bool alive()
    {
        return tmux({ QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"), m_session,
                        QStringLiteral("#{pane_dead}") })
                   .trimmed()
            == QLatin1String("0");
    }

private:
    // On a tmux server of the test's own, never the user's, whose socket goes with the screen's folder.
    QString tmux(const QStringList& arguments) const
    {
        QProcess process;
        process.start(QStringLiteral("tmux"),
            QStringList { QStringLiteral("-S"), m_config.filePath(QStringLiteral("tmux.socket")), QStringLiteral("-f"),
                m_config.filePath(QStringLiteral("tmux.conf")) }
                + arguments);
        process.waitForFinished(10000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // Each screen has a tmux server of its own, so that a test may run two agents side by side.
    static inline int s_screens = 0;
    QString m_session;
    QTemporaryDir m_config;
    QProcess m_model;
};

// Codex's interactive screen against the scripted model, asking before it runs a command outside its sandbox.
QStringList codexScreen(quint16 port, const QString& prompt)
{
    return QStringList { AgentKitPeer::installedFile(Agent::Codex), QStringLiteral("--dangerously-bypass-hook-trust"),
        QStringLiteral("-c"), QStringLiteral("model=\"fake-model\""), QStringLiteral("-c"),
        QStringLiteral("model_provider=\"fake\""), QStringLiteral("-c"),
        QStringLiteral("model_providers.fake={name=\"fake\",base_url=\"http://127.0.0.1:%1/v1\","
                       "env_key=\"FAKE_OPENAI_API_KEY\",wire_api=\"responses\"}")
            .arg(port),
        QStringLiteral("-c"), QStringLiteral("check_for_update_on_startup=false"), QStringLiteral("-c"),
        QStringLiteral("approval_policy=\"on-request\""), QStringLiteral("--sandbox"),
        QStringLiteral("workspace-write"), prompt };
}

struct Seen {
    QString event;
    QString adapter;
    QJsonObject payload;
};

// Each agent gets murmeli's hook through its real installer into a fresh home; murmeli runs in-process on a free
// port, which the hook command learns from MURMELI_PORT, with the secret the installer stored, and records every
// event that reaches it.
class AgentKitHooksTest : public ::testing::Test {
protected:
    // Codex leaves a daemon of its own behind, out of the run's process group, that writes into the home.
    ~AgentKitHooksTest() override { test::endProcessesWithHome(homePath); }

    void prepare(Agent agent, const QString& installer, const QProcessEnvironment& installerEnvironment = {})
    {
        QString whyNot;
        if (!AgentKitPeer::available(agent, &whyNot)) {
            GTEST_SKIP() << whyNot.toStdString();
        }
        this->agent = agent;
        ASSERT_TRUE(QDir().mkpath(homePath));
        QProcess install;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), homePath);
        for (const char* name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "OPENCLAW_STATE_DIR", "CODEX_HOME" }) {
            environment.remove(QString::fromLatin1(name));
        }
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        environment.insert(installerEnvironment);
        install.setProcessEnvironment(environment);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(
            QStringLiteral("/bin/bash"), { QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/") + installer });
        ASSERT_TRUE(install.waitForFinished(60000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();

        const QByteArray secret = test::readFile(homePath + QStringLiteral("/.local/share/murmeli/secrets/")
            + QString::fromLatin1(platform::KeychainStore::hookAuthService) + QStringLiteral(".secret"));
        ASSERT_EQ(secret.size(), 64);
        secrets->save(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), secret);
        controller = std::make_unique<app::AppController>(
            test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
        controller->onLog = [this](const QString& message, common::LogColor) { lines << message; };
        controller->startBackend(QString());
        ASSERT_TRUE(test::ControllerProbe::hookServer(*controller).authEnforced());
        auto inner = test::ControllerProbe::hookServer(*controller).onEvent;
        test::ControllerProbe::hookServer(*controller).onEvent
            = [this, inner](const QString& event, const QJsonObject& payload) {
                  seen.push_back({ event, payload.value(QStringLiteral("_murmeli_adapter")).toString(), payload });
                  if (inner) {
                      inner(event, payload);
                  }
              };
    }

    QProcessEnvironment hookEnvironment() const
    {
        QProcessEnvironment extra;
        extra.insert(
            QStringLiteral("MURMELI_PORT"), QString::number(test::ControllerProbe::hookServer(*controller).port()));
        extra.insert(QStringLiteral("MURMELI_STATUS_DIR"), root.path() + QStringLiteral("/murmeli"));
        return extra;
    }

    // What an agent's interactive screen runs with: the test's home, and the scripted model's key.
    QProcessEnvironment screenEnvironment() const
    {
        QProcessEnvironment environment = hookEnvironment();
        environment.insert(QStringLiteral("HOME"), homePath);
        environment.insert(QStringLiteral("CODEX_HOME"), homePath + QStringLiteral("/.codex"));
        environment.insert(QStringLiteral("FAKE_OPENAI_API_KEY"), QStringLiteral("sk-offline-test"));
        return environment;
    }

    // A fresh working folder per run, so one run's marker never answers for another's. What of the agent still runs
    // from the home (Codex's daemon) goes, and is waited for, before the last folder is removed: it could make it
    // again.
    void freshWork()
    {
        if (work) {
            test::endProcessesWithHome(homePath);
        }
        work = std::make_unique<QTemporaryDir>();
    }

    QString runAgent(const QProcessEnvironment& extra = {})
    {
        freshWork();
        const QString marker = work->path() + QStringLiteral("/marker");
        QProcessEnvironment environment = hookEnvironment();
        environment.insert(extra);
        running
            = AgentKitPeer::run(agent, homePath, work->path(), QStringLiteral("RUNBASH: touch ") + marker, environment);
        return marker;
    }

    bool agentFinished()
    {
        return waitUntil([&] { return running->state() == QProcess::NotRunning; }, agentLimitMs);
    }

    std::string agentOutput() { return running ? running->readAll().toStdString() : std::string(); }

    // Whether the event reached murmeli, and every time from the adapter.
    bool cameFrom(const char* event, const QString& adapter) const
    {
        const QStringList adapters = seenAs(QString::fromLatin1(event));
        return !adapters.isEmpty() && adapters.count(adapter) == adapters.size();
    }

    // The events that reached murmeli under a name, with the adapter that sent them.
    QStringList seenAs(const QString& event) const
    {
        QStringList adapters;
        for (const Seen& s : seen) {
            if (s.event == event) {
                adapters << s.adapter;
            }
        }
        return adapters;
    }

    // The agent holds before its tool; murmeli shows the command and decides as the user would. An agent that ends
    // without asking fails the test at once rather than at the limit.
    void decide(const QString& marker, const ApprovalDecision& decision, const std::function<bool()>& agentEnded,
        const std::function<std::string()>& agentShows)
    {
        const auto asked = [&] { return test::ControllerProbe::pendingTable(*controller).hasActive(); };
        ASSERT_TRUE(waitUntil([&] { return asked() || agentEnded(); }, agentLimitMs))
            << "no request within the limit: " << agentShows();
        ASSERT_TRUE(asked()) << "the agent ended without asking: " << agentShows();
        const hooks::ApprovalRequest request = *test::ControllerProbe::pendingTable(*controller).activeRequest();
        EXPECT_EQ(request.toolName, QStringLiteral("Bash"));
        // The command as the agent sent it: the short preview cuts it where the temporary folder's path is long.
        EXPECT_EQ(QJsonDocument::fromJson(request.rawInputJSON).object().value(QStringLiteral("command")).toString(),
            QStringLiteral("touch ") + marker);
        test::ControllerProbe::pendingTable(*controller).resolve(request.toolUseId, decision);
    }

    // One run the user allows, one they deny.
    void shellWaitsForTheUser(const QString& adapter)
    {
        const auto ended = [this] { return running->state() == QProcess::NotRunning; };
        const auto shows = [this] { return agentOutput(); };
        QString marker = runAgent();
        decide(marker, ApprovalDecision::allow(hooks::PermissionScope::Once), ended, shows);
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(agentFinished());
        EXPECT_TRUE(QFileInfo::exists(marker)) << agentOutput();
        for (const char* event : { "SessionStart", "UserPromptSubmit", "PermissionRequest", "PostToolUse" }) {
            EXPECT_TRUE(cameFrom(event, adapter))
                << event << ": " << seenAs(QString::fromLatin1(event)).join(' ').toStdString();
        }

        marker = runAgent();
        decide(marker, ApprovalDecision::deny(QStringLiteral("not from the test")), ended, shows);
        ASSERT_TRUE(agentFinished());
        EXPECT_FALSE(QFileInfo::exists(marker)) << agentOutput();
    }

    // One command the user allows and one they deny, each asked from the agent's interactive screen, which then shows
    // the allowed or the denied line.
    void screenWaitsForTheUser(const QString& adapter, const char* allowedLine, const char* deniedLine,
        const std::function<QStringList(quint16 modelPort, const QString& prompt)>& command)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty()) {
            GTEST_SKIP() << "tmux is not installed";
        }
        struct Case {
            ApprovalDecision decision;
            const char* line;
            bool runs;
        };
        for (const Case& c : { Case { ApprovalDecision::allow(hooks::PermissionScope::Once), allowedLine, true },
                 Case { ApprovalDecision::deny(QStringLiteral("not from the test")), deniedLine, false } }) {
            freshWork();
            const QString marker = work->path() + QStringLiteral("/marker");
            AgentScreen screen(work->path(), screenEnvironment(),
                [&](quint16 port) { return command(port, QStringLiteral("ASKBASH: touch ") + marker); });
            decide(
                marker, c.decision, [&] { return !screen.alive(); }, [&] { return screen.text().toStdString(); });
            if (HasFatalFailure()) {
                return;
            }
            EXPECT_TRUE(waitUntil(
                [&] {
                    return (QFileInfo::exists(marker) == c.runs && screen.text().contains(QLatin1String(c.line)))
                        || !screen.alive();
                },
                agentLimitMs))
                << screen.text().toStdString();
            EXPECT_EQ(QFileInfo::exists(marker), c.runs) << c.line;
        }
        EXPECT_TRUE(cameFrom("PermissionRequest", adapter));
    }

    Agent agent = Agent::Codex;
    QTemporaryDir root;
    QTemporaryDir home;
    QString homePath = home.path();
    std::unique_ptr<QTemporaryDir> work;
    QStringList lines;
    std::vector<Seen> seen;
    std::shared_ptr<platform::FakeSecretStore> secrets = std::make_shared<platform::FakeSecretStore>();
    std::unique_ptr<app::AppController> controller;
    std::unique_ptr<QProcess> running;
};

} // namespace

TEST_F(AgentKitHooksTest, CodexToolEventsReachMurmeliAsCodex)
{
    prepare(Agent::Codex, QStringLiteral("install-codex-hook"));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const QString marker = runAgent();
    ASSERT_TRUE(agentFinished());
    EXPECT_TRUE(QFileInfo::exists(marker)) << agentOutput();
    for (const char* event : { "SessionStart", "UserPromptSubmit", "PostToolUse", "Stop", "SessionEnd" }) {
        EXPECT_TRUE(cameFrom(event, QStringLiteral("codex"))) << event;
    }
    EXPECT_EQ(test::ControllerProbe::hookServer(*controller).bearerRejectCount(), 0);
}

// Qwen Code keeps Claude Code's hook layout, as Qoder and CodeBuddy do; it is the one of them that runs offline, so
// Qoder's installer, which CodeBuddy's shares, is proven on it.
TEST_F(AgentKitHooksTest, TheClaudeLayoutInstallerWorksInQwenCode)
{
    QProcessEnvironment settings;
    settings.insert(QStringLiteral("QODER_SETTINGS"), homePath + QStringLiteral("/.qwen/settings.json"));
    prepare(Agent::Qwen, QStringLiteral("install-qoder-hook"), settings);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const QString marker = runAgent();
    ASSERT_TRUE(agentFinished());
    EXPECT_TRUE(QFileInfo::exists(marker)) << agentOutput();
    for (const char* event : { "SessionStart", "UserPromptSubmit", "PostToolUse", "Stop" }) {
        EXPECT_TRUE(cameFrom(event, QStringLiteral("qoder"))) << event;
    }
}

// Gemini CLI and OpenCode let a hook stop a tool before it runs: murmeli holds the shell command until the user
// decides, and a denial keeps it from running.
TEST_F(AgentKitHooksTest, GeminiWaitsForMurmeliBeforeTheShell)
{
    prepare(Agent::Gemini, QStringLiteral("install-gemini-hook"));
    if (!IsSkipped() && !HasFatalFailure()) {
        shellWaitsForTheUser(QStringLiteral("gemini"));
    }
}

TEST_F(AgentKitHooksTest, OpenCodeWaitsForMurmeliBeforeTheShell)
{
    prepare(Agent::OpenCode, QStringLiteral("install-opencode-hook"));
    if (!IsSkipped() && !HasFatalFailure()) {
        shellWaitsForTheUser(QStringLiteral("opencode"));
    }
}

// Quotes, spaces and "&" in the home's path reach the plugin and the settings file as they are: the hooks that the
// installers wrote there still hold the shell until the user decides.
TEST_F(AgentKitHooksTest, HooksWorkFromAHomeWithQuotesSpacesAndAnAmpersand)
{
    homePath = home.path() + QStringLiteral("/it's \"b & c\"");
    for (const auto& [kit, installer, adapter] : { std::tuple { Agent::OpenCode, "install-opencode-hook", "opencode" },
             std::tuple { Agent::Gemini, "install-gemini-hook", "gemini" } }) {
        seen.clear();
        controller.reset();
        prepare(kit, QString::fromLatin1(installer));
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        shellWaitsForTheUser(QString::fromLatin1(adapter));
    }
}

// Codex and Qwen Code (standing for the agents of Claude Code's layout) ask their PermissionRequest hooks only from
// their interactive screens: run there, a command that needs the user's consent waits for the decision in murmeli,
// and the agent follows it without asking again.
TEST_F(AgentKitHooksTest, CodexAsksMurmeliFromItsInteractiveScreen)
{
    prepare(Agent::Codex, QStringLiteral("install-codex-hook"));
    if (!IsSkipped() && !HasFatalFailure()) {
        screenWaitsForTheUser(QStringLiteral("codex"), "Ran touch", "Blocked by hook", &codexScreen);
    }
}

// Esc in Codex's own terminal cancels the request it was asking, while the hook that posted it goes on waiting: the
// request leaves murmeli at once, not at the fail-open 25 s later, and those behind it are not held up.
TEST_F(AgentKitHooksTest, EscInCodexTakesItsRequestOffThePanel)
{
    prepare(Agent::Codex, QStringLiteral("install-codex-hook"));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    freshWork();
    const QString marker = work->path() + QStringLiteral("/marker");
    AgentScreen screen(work->path(), screenEnvironment(),
        [&](quint16 port) { return codexScreen(port, QStringLiteral("ASKBASH: touch ") + marker); });
    hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(*controller);
    ASSERT_TRUE(waitUntil([&] { return table.hasActive() || !screen.alive(); }, agentLimitMs))
        << screen.text().toStdString();
    ASSERT_TRUE(table.hasActive()) << "the agent ended without asking: " << screen.text().toStdString();
    const QString id = table.activeRequest()->toolUseId;

    screen.sendKeys({ QStringLiteral("Escape") });
    EXPECT_TRUE(waitUntil([&] { return !table.isHeld(id); }, 5000))
        << "still held after Esc: " << screen.text().toStdString();
    EXPECT_TRUE(cameFrom("Interrupt", QStringLiteral("codex")));
    EXPECT_EQ(lines.filter(QStringLiteral("Interrupt shows the agent past ") + id).size(), 1)
        << lines.join('\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(marker));
}

// Codex turns down the permission update of Claude Code's Always Allow and keeps no allow its hook gives: Always Allow
// on its card runs the command, and murmeli keeps the allow for that session, whose next command runs without a card,
// while another Codex session still asks.
TEST_F(AgentKitHooksTest, AlwaysAllowOnACodexCardRunsTheToolAndHoldsForItsSessionOnly)
{
    prepare(Agent::Codex, QStringLiteral("install-codex-hook"));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const auto cards = [&] { return lines.filter(QStringLiteral("[approval-diag] awaiting decision for ")).size(); };
    freshWork();
    const auto marker = [&](const char* name) { return work->path() + QLatin1Char('/') + QLatin1String(name); };
    AgentScreen one(work->path(), screenEnvironment(),
        [&](quint16 port) { return codexScreen(port, QStringLiteral("ASKBASH: touch ") + marker("first")); });
    const auto shows = [](AgentScreen& screen) { return [&screen] { return screen.text().toStdString(); }; };
    const auto ran = [&](const char* name) {
        waitUntil(
            [&] { return QFileInfo::exists(marker(name)) || one.text().contains(codexAsksItself) || !one.alive(); },
            agentLimitMs);
        return QFileInfo::exists(marker(name));
    };
    decide(
        marker("first"), ApprovalDecision::allow(hooks::PermissionScope::Session), [&] { return !one.alive(); },
        shows(one));
    if (HasFatalFailure()) {
        return;
    }
    ASSERT_TRUE(ran("first")) << "Always Allow did not run the command: " << shows(one)();
    ASSERT_TRUE(waitUntil([&] { return one.text().contains(QLatin1String("Done.")); }, agentLimitMs)) << shows(one)();
    ASSERT_TRUE(one.prompt(QStringLiteral("ASKBASH: touch ") + marker("second"))) << shows(one)();
    EXPECT_TRUE(ran("second")) << "the same tool again did not run: " << shows(one)();
    EXPECT_EQ(cards(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral(" is allowed for the rest of session ")).size(), 1);

    AgentScreen two(work->path(), screenEnvironment(),
        [&](quint16 port) { return codexScreen(port, QStringLiteral("ASKBASH: touch ") + marker("third")); });
    decide(
        marker("third"), ApprovalDecision::allow(hooks::PermissionScope::Once), [&] { return !two.alive(); },
        shows(two));
    EXPECT_EQ(cards(), 2);
}

TEST_F(AgentKitHooksTest, QwenCodeAsksMurmeliFromItsInteractiveScreen)
{
    prepare(Agent::Qwen, QStringLiteral("install-qwen-hook"));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    // A first run through the kit's runner writes Qwen Code's sign-in choice beside our hooks.
    runAgent();
    ASSERT_TRUE(agentFinished());
    const QStringList qwen
        = AgentKitPeer::openClawCommand().mid(0, 1) + QStringList { AgentKitPeer::installedFile(Agent::Qwen) };
    screenWaitsForTheUser(
        QStringLiteral("qwen"), "touch", "not from the test", [&](quint16 port, const QString& prompt) {
            return QStringList { QStringLiteral("OPENAI_API_KEY=sk-offline-test"),
                QStringLiteral("OPENAI_BASE_URL=http://127.0.0.1:%1/v1").arg(port),
                QStringLiteral("OPENAI_MODEL=fake-model") }
            + qwen
                + QStringList { QStringLiteral("--approval-mode"), QStringLiteral("default"), QStringLiteral("-i"),
                      prompt };
        });
}

// OpenClaw's hooks load only in its Gateway and only observe (no tool events, no decisions): through a Gateway of
// its own, a turn that starts a new session reaches murmeli as OpenClaw's.
TEST_F(AgentKitHooksTest, OpenClawGatewayTellsMurmeliOfANewSession)
{
    prepare(Agent::OpenClaw, QStringLiteral("install-openclaw-hook"));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    // The kit's runner writes the model and the workspace into OpenClaw's configuration; its embedded run loads no
    // hooks, so nothing reaches murmeli.
    const QString marker = runAgent();
    ASSERT_TRUE(agentFinished());
    EXPECT_TRUE(QFileInfo::exists(marker)) << agentOutput();
    EXPECT_TRUE(seen.empty());

    const quint16 modelPort = freePort();
    const quint16 gatewayPort = freePort();
    QProcess model;
    model.start(QStringLiteral("python3"), { AgentKitPeer::modelScript(), QString::number(modelPort) });
    const QString configPath = homePath + QStringLiteral("/.openclaw/openclaw.json");
    QJsonObject config = QJsonDocument::fromJson(test::readFile(configPath)).object();
    QJsonObject models = config.value(QStringLiteral("models")).toObject();
    QJsonObject providers = models.value(QStringLiteral("providers")).toObject();
    QJsonObject fake = providers.value(QStringLiteral("fake")).toObject();
    fake.insert(QStringLiteral("baseUrl"), QStringLiteral("http://127.0.0.1:%1/v1").arg(modelPort));
    providers.insert(QStringLiteral("fake"), fake);
    models.insert(QStringLiteral("providers"), providers);
    config.insert(QStringLiteral("models"), models);
    config.insert(QStringLiteral("gateway"),
        QJsonObject { { QStringLiteral("mode"), QStringLiteral("local") }, { QStringLiteral("port"), gatewayPort },
            { QStringLiteral("bind"), QStringLiteral("loopback") },
            { QStringLiteral("auth"), QJsonObject { { QStringLiteral("mode"), QStringLiteral("none") } } } });
    QFile file(configPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(config).toJson());
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), homePath);
    environment.insert(QStringLiteral("OPENCLAW_STATE_DIR"), homePath + QStringLiteral("/.openclaw"));
    environment.insert(QStringLiteral("OPENCLAW_NO_RESPAWN"), QStringLiteral("1"));
    environment.insert(QStringLiteral("OPENCLAW_DISABLE_UPDATE_CHECK"), QStringLiteral("1"));
    environment.insert(hookEnvironment());
    const QStringList openClaw = AgentKitPeer::openClawCommand();
    QProcess gateway;
    gateway.setProcessEnvironment(environment);
    gateway.setWorkingDirectory(work->path());
    gateway.setProcessChannelMode(QProcess::MergedChannels);
    gateway.start(openClaw.front(),
        openClaw.mid(1)
            + QStringList { QStringLiteral("gateway"), QStringLiteral("--port"), QString::number(gatewayPort),
                QStringLiteral("--auth"), QStringLiteral("none"), QStringLiteral("--bind"),
                QStringLiteral("loopback") });
    QByteArray gatewayLog;
    const bool ready = waitUntil(
        [&] {
            gatewayLog += gateway.readAll();
            return gatewayLog.contains("internal hook handler") && gatewayLog.contains("ready");
        },
        agentLimitMs);
    if (ready) {
        QProcess turn;
        turn.setProcessEnvironment(environment);
        turn.setWorkingDirectory(work->path());
        turn.setProcessChannelMode(QProcess::MergedChannels);
        turn.start(openClaw.front(),
            openClaw.mid(1)
                + QStringList { QStringLiteral("agent"), QStringLiteral("--session-id"), QStringLiteral("murmeli-test"),
                    QStringLiteral("--message"), QStringLiteral("/new") });
        EXPECT_TRUE(waitUntil([&] { return turn.state() == QProcess::NotRunning; }, agentLimitMs));
        EXPECT_TRUE(waitUntil([&] { return !seenAs(QStringLiteral("SessionStart")).isEmpty(); }, 30000))
            << turn.readAll().toStdString();
        EXPECT_TRUE(cameFrom("SessionStart", QStringLiteral("openclaw")));
    }
    EXPECT_TRUE(ready) << gatewayLog.right(4000).toStdString();
    gateway.terminate();
    if (!gateway.waitForFinished(30000)) {
        gateway.kill();
        gateway.waitForFinished(5000);
    }
    model.kill();
    model.waitForFinished(5000);
}

// Two Codex sessions started together: their ids begin with the same clock, yet each is a row of its own, named by
// the folder its events carry.
TEST_F(AgentKitHooksTest, TwoCodexSessionsStartedTogetherAreTwoRows)
{
    prepare(Agent::Codex, QStringLiteral("install-codex-hook"));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    QTemporaryDir one;
    QTemporaryDir two;
    // Codex's daemon goes, and is waited for, before the folders it works in.
    const auto daemons = qScopeGuard([&] { test::endProcessesWithHome(homePath); });
    const auto first = AgentKitPeer::run(Agent::Codex, homePath, one.path(), "RUNBASH: sleep 8", hookEnvironment());
    const auto second = AgentKitPeer::run(Agent::Codex, homePath, two.path(), "RUNBASH: sleep 8", hookEnvironment());
    QStringList shown;
    const QStringList folders { QFileInfo(one.path()).fileName(), QFileInfo(two.path()).fileName() };
    EXPECT_TRUE(waitUntil(
        [&] {
            controller->sessions().syncSessions();
            waitUntil([&] { return !test::ControllerProbe::panelSync(*controller).isReading(); });
            shown.clear();
            for (const notch::SessionRow& row : controller->vm().sessions()) {
                shown << row.projectName;
            }
            return shown.size() == 2 && shown.contains(folders[0]) && shown.contains(folders[1]);
        },
        agentLimitMs))
        << shown.join(' ').toStdString();
    QSet<QString> starts;
    for (const Seen& s : seen) {
        if (s.event == QStringLiteral("SessionStart")) {
            starts << s.payload.value(QStringLiteral("session_id")).toString().left(8);
        }
    }
    EXPECT_EQ(starts.size(), 1) << "their ids did not begin alike: started a minute apart";
    EXPECT_TRUE(waitUntil([&] { return first->state() == QProcess::NotRunning; }, agentLimitMs));
    EXPECT_TRUE(waitUntil([&] { return second->state() == QProcess::NotRunning; }, agentLimitMs));
}

// The real murmeli starts beside a real agent whose shell tool went into a subfolder of the folder the agent runs in.
// Both are the user's, as on a user's machine, so murmeli reads the agent's working folder from /proc; its home, hook
// port and status folder are its own (test::ownMurmeliEnvironment), so no other murmeli's sessions or agents reach it.
TEST(AgentKitStartTest, AtStartUpASessionBelowItsAgentsFolderKeepsItsFiles)
{
    QString whyNot;
    if (!AgentKitPeer::available(Agent::Codex, &whyNot)) {
        GTEST_SKIP() << whyNot.toStdString();
    }
    QTemporaryDir own;
    QTemporaryDir agentHome;
    QTemporaryDir work;
    // Codex's daemon goes, and is waited for, before any folder it works in.
    const auto daemons = qScopeGuard([&] { test::endProcessesWithHome(agentHome.path()); });
    const std::optional<QProcessEnvironment> environment = test::ownMurmeliEnvironment(own.path());
    ASSERT_TRUE(environment);
    const QDir status(environment->value(QStringLiteral("MURMELI_STATUS_DIR")));
    const QString folder = QFileInfo(work.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(folder).mkdir("sub"));
    const auto agent = AgentKitPeer::run(Agent::Codex, agentHome.path(), folder, QStringLiteral("RUNBASH: sleep 120"));
    const auto agentPid = [&] {
        const auto agents = hooks::ProcessDiscovery().discoverAll();
        const auto found = std::find_if(agents.begin(), agents.end(), [&](const auto& p) { return p.cwd == folder; });
        return found == agents.end() ? 0 : static_cast<pid_t>(found->pid.toLongLong());
    };
    ASSERT_TRUE(waitUntil([&] { return agentPid() > 0; }, agentLimitMs)) << agent->readAll().toStdString();
    const auto cleanup = qScopeGuard([&] {
        if (const pid_t pid = agentPid(); pid > 0) {
            ::kill(pid, SIGKILL);
        }
        // Its runner then ends, and stops the scripted model on its way out.
        agent->waitForFinished(10000);
    });
    const auto write = [](const QString& path, const QString& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0);
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    };
    write(status.filePath("c0de0001-status.json"),
        QStringLiteral(R"({"workspace": {"current_dir": "%1/sub", "project_dir": "%1"}})").arg(folder));
    write(status.filePath("dead0002-status.json"), R"({"workspace": {"current_dir": "/nonexistent-murmeli-test"}})");
    QProcess murmeli;
    murmeli.setProcessChannelMode(QProcess::MergedChannels);
    murmeli.setProcessEnvironment(*environment);
    murmeli.start(QStringLiteral(MURMELI_BINARY), QStringList {});
    const auto stop = qScopeGuard([&] { murmeli.terminate(), murmeli.waitForFinished(10000); });
    ASSERT_TRUE(murmeli.waitForStarted(5000));
    QByteArray log;
    const auto logged = [&](const char* line) { return (log += murmeli.readAll()).contains(line); };
    ASSERT_TRUE(
        waitUntil([&] { return logged("HookServer: listening") || murmeli.state() != QProcess::Running; }, 30000));
    ASSERT_EQ(murmeli.state(), QProcess::Running) << "murmeli did not start: " << log.data();
    // The session whose agent is gone goes: the cleanup has run.
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(status.filePath("dead0002-status.json")); }, 30000));
    EXPECT_TRUE(QFile::exists(status.filePath(QStringLiteral("c0de0001-status.json"))));
    EXPECT_TRUE(waitUntil([&] { return logged("Sessions: 1 active [c0de0001]"); })) << log.data();
}
