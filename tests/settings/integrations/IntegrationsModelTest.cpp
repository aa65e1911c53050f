#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "main/common/ClockSleep.h"
#include "main/settings/integrations/IntegrationsModel.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::CLIAdapter;
using settings::CLIInstallState;
using settings::InstallAlert;
using settings::IntegrationsModel;

namespace {

const CLIAdapter& adapter(CLIAdapter::ID id)
{
    const auto& all = CLIAdapter::allCases();
    return *std::find_if(all.begin(), all.end(), [id](const CLIAdapter& a) { return a.id == id; });
}

// A source tree with murmeli's executable and the installers of Claude Code and Codex only; installers "run" through
// a scripted runner that answers after a second on a fake clock.
class IntegrationsModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        executable = root.path() + QStringLiteral("/src/build/main/app/murmeli");
        for (const QString& file : { executable, scripts() + QStringLiteral("/install-hooks.sh"),
                 scripts() + QStringLiteral("/install-codex-hook") }) {
            QDir().mkpath(QFileInfo(file).absolutePath());
            QFile(file).open(QIODevice::WriteOnly);
        }
    }

    QString scripts() const { return root.path() + QStringLiteral("/src/Resources/scripts"); }

    std::unique_ptr<IntegrationsModel> makeModel(bool withApplication = true)
    {
        IntegrationsModel::Dependencies dependencies { executable, root.path() + QStringLiteral("/home"),
            platform::KeychainStore(secrets), {}, {} };
        dependencies.runCommand = [this](common::ProcessRequest request) -> QCoro::Task<common::ProcessResult> {
            requests.push_back(request);
            ++started;
            std::shared_ptr<test::FakeClock> keep = clock;
            co_await common::sleepFor(*keep, 1000);
            ++completed;
            co_return common::ProcessResult(nextResult);
        };
        if (withApplication) {
            dependencies.installClaudeHooks = [this]() -> QCoro::Task<std::optional<QString>> {
                ++claudeInstalls;
                ++started;
                std::shared_ptr<test::FakeClock> keep = clock;
                co_await common::sleepFor(*keep, 1000);
                ++completed;
                // A copy: the member stays for the test to compare with.
                co_return std::optional<QString>(claudeFailure);
            };
        }
        auto model = std::make_unique<IntegrationsModel>(std::move(dependencies));
        model->onChanged = [this] { ++changes; };
        return model;
    }

    // Lets every run under way end; the flow that awaited it goes on at once.
    void finishRuns()
    {
        clock->advance(1000);
        ASSERT_TRUE(test::waitUntil([&] { return completed == started; }));
    }

    int started = 0;
    int completed = 0;
    QTemporaryDir root;
    QString executable;
    std::shared_ptr<platform::FakeSecretStore> secrets = std::make_shared<platform::FakeSecretStore>();
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::vector<common::ProcessRequest> requests;
    common::ProcessResult nextResult;
    std::optional<QString> claudeFailure;
    int claudeInstalls = 0;
    int changes = 0;
};

} // namespace

TEST_F(IntegrationsModelTest, EachFlowEndsInOneAlertThatSaysWhatHappened)
{
    struct Case {
        const char* name;
        CLIAdapter::ID id;
        bool removing;
        bool started;
        int exitCode;
        QByteArray output;
        InstallAlert expected;
        std::optional<QStringList> extra; // the arguments after the script's path; nullopt when nothing may run
    };
    const QString codex = QStringLiteral("Codex CLI (Beta)");
    const std::vector<Case> cases {
        { "install, silent", CLIAdapter::ID::Codex, false, true, 0, {}, { codex + QStringLiteral(" installed"), {} },
            QStringList {} },
        { "install fails", CLIAdapter::ID::Codex, false, true, 3, "no\n",
            { codex + QStringLiteral(" install failed (exit 3)"), QStringLiteral("no\n") }, QStringList {} },
        { "uninstall", CLIAdapter::ID::Codex, true, true, 0, "gone\n",
            { codex + QStringLiteral(" uninstalled"), QStringLiteral("gone\n") },
            QStringList { QStringLiteral("--uninstall") } },
        { "bash cannot start", CLIAdapter::ID::Codex, false, false, -1, {},
            { codex + QStringLiteral(" install failed (exit -1)"), QStringLiteral("Failed to launch /bin/bash: gone") },
            QStringList {} },
        { "Claude Code uninstall", CLIAdapter::ID::ClaudeCode, true, true, 1, "refused\n",
            { QStringLiteral("Claude Code uninstall failed (exit 1)"), QStringLiteral("refused\n") },
            QStringList { QStringLiteral("--uninstall") } },
        { "install without a script", CLIAdapter::ID::Gemini, false, true, 0, {},
            { QStringLiteral("Gemini CLI (Beta) install"),
                QStringLiteral("Install script not found at install-gemini-hook \u2014 make sure the bundled scripts/ "
                               "directory is intact.") },
            std::nullopt },
        { "uninstall without a script", CLIAdapter::ID::Gemini, true, true, 0, {},
            { QStringLiteral("Gemini CLI (Beta) uninstall"),
                QStringLiteral("Install script not found at install-gemini-hook \u2014 cannot uninstall.") },
            std::nullopt },
    };
    for (const Case& c : cases) {
        const auto model = makeModel();
        requests.clear();
        nextResult = {};
        nextResult.started = c.started;
        nextResult.exitCode = c.exitCode;
        nextResult.standardOutput = c.output;
        nextResult.systemError = QStringLiteral("gone");
        const CLIAdapter& a = adapter(c.id);
        c.removing ? model->uninstall(a) : model->install(a);
        EXPECT_EQ(model->isBusy(c.id), c.extra.has_value()) << c.name;
        finishRuns();
        EXPECT_FALSE(model->isBusy(c.id)) << c.name;
        ASSERT_TRUE(model->alert()) << c.name;
        EXPECT_EQ(*model->alert(), c.expected) << c.name;
        ASSERT_EQ(requests.size(), c.extra ? 1U : 0U) << c.name;
        if (c.extra) {
            const common::ProcessRequest& request = requests.front();
            EXPECT_EQ(request.program, QStringLiteral("/bin/bash")) << c.name;
            EXPECT_EQ(request.arguments.mid(1), *c.extra) << c.name;
            EXPECT_TRUE(request.arguments.front().endsWith(QLatin1Char('/') + a.installScriptName)) << c.name;
            EXPECT_EQ(request.environment.value(QStringLiteral("MURMELI_BIN")), executable) << c.name;
            EXPECT_TRUE(request.mergeChannels) << c.name;
        }
        // A flow that ran re-detects every adapter; one that found no script only says so.
        EXPECT_EQ(
            model->state(CLIAdapter::ID::Codex), c.extra ? CLIInstallState::Installable : CLIInstallState::ComingSoon)
            << c.name;
        model->dismissAlert();
        EXPECT_FALSE(model->alert()) << c.name;
    }
    EXPECT_EQ(InstallAlert {}.message(), QStringLiteral("(no output)"));
}

TEST_F(IntegrationsModelTest, ClaudeCodeInstallIsAwaitedOncePerClickAndShowsOnlyAFailure)
{
    const auto model = makeModel();
    EXPECT_EQ(model->state(CLIAdapter::ID::ClaudeCode), CLIInstallState::ComingSoon);
    const CLIAdapter& claude = adapter(CLIAdapter::ID::ClaudeCode);
    model->install(claude);
    model->install(claude);
    model->uninstall(claude);
    EXPECT_TRUE(model->isBusy(CLIAdapter::ID::ClaudeCode));
    finishRuns();
    EXPECT_EQ(claudeInstalls, 1);
    EXPECT_TRUE(requests.empty());
    EXPECT_FALSE(model->alert());
    EXPECT_EQ(model->state(CLIAdapter::ID::ClaudeCode), CLIInstallState::Installable);

    claudeFailure = QStringLiteral("install-hooks.sh exited with error.");
    model->install(claude);
    finishRuns();
    EXPECT_EQ(claudeInstalls, 2);
    ASSERT_TRUE(model->alert());
    EXPECT_EQ(*model->alert(), (InstallAlert { QStringLiteral("Claude Code install failed"), *claudeFailure }));
}

TEST_F(IntegrationsModelTest, WithoutAnApplicationOrOnceGoneNothingRunsOrLands)
{
    const auto bare = makeModel(false);
    EXPECT_FALSE(bare->canInstall());
    bare->install(adapter(CLIAdapter::ID::Codex));
    EXPECT_TRUE(requests.empty());

    auto model = makeModel();
    model->install(adapter(CLIAdapter::ID::Codex));
    ASSERT_EQ(requests.size(), 1U);
    model.reset();
    const int before = changes;
    finishRuns();
    EXPECT_EQ(changes, before);
}
