#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "main/hooks/install/HookSelfCheck.h"
#include "main/settings/integrations/HooksDoctor.h"
#include "main/settings/integrations/IntegrationsModel.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "main/settings/views/pages/IntegrationsPage.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "platform/secrets/SecretStoreFactory.h"
#include "tests/desktop/InstalledMurmeli.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Files.h"
#include "tests/support/HttpClient.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::CLIAdapter;
using settings::CLIInstallState;

// Under a fresh home, the Integrations page installs Claude Code's hooks through the shipped installer and the
// murmeli executable, the row turns active and the doctor's count rises to every required event on Re-check; the
// uninstall takes them out again and the count falls back.
TEST(IntegrationsDesktopTest, ThePageInstallsAndUninstallsClaudeCodesHooksAndTheDoctorFollows)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    QTemporaryDir scratch;
    const QString home = scratch.path() + QStringLiteral("/home");
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/.claude")));
    const test::InstalledMurmeli installed;
    ASSERT_TRUE(installed.ready);
    // The installer, murmeli's helper it runs and the page all work on the fresh home, with the secret in a file.
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    const auto set = [&](const char* name, const QByteArray& value) {
        saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv(name, value);
    };
    const auto restore = qScopeGuard([&] {
        for (const auto& [name, value] : saved) {
            value ? qputenv(name, *value) : qunsetenv(name);
        }
    });
    set("HOME", home.toUtf8());
    set("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    set("MURMELI_SECRETS_BACKEND", "file");

    test::LaunchedMurmeli murmeli([&](app::AppController::Dependencies& dependencies) {
        dependencies.executablePath = installed.executable();
        dependencies.agentSettingsPath = home + QStringLiteral("/.claude/settings.json");
        dependencies.secrets = platform::makeSecretStore();
        dependencies.hookSecrets = platform::makeHookSecretStore(dependencies.secrets);
    });
    Q_EMIT murmeli.controller.notifications().showSettings();
    settings::SettingsWindowController& settingsWindow = *murmeli.views.settingsWindow();
    settingsWindow.viewModel().setSelectedSection(settings::SettingsSection::Integrations);
    auto* page = qobject_cast<settings::IntegrationsPage*>(settingsWindow.rootView().page());
    ASSERT_NE(page, nullptr);
    settings::HooksDoctor& doctor = page->doctor();
    const int required = doctor.requiredCount();
    const auto recheck = [&] {
        const QDateTime before = doctor.lastRunAt().value_or(QDateTime());
        QTest::mouseClick(page->diagnosticsCard()->findChild<ui::KitButton*>("recheck"), Qt::LeftButton);
        return test::waitUntil([&] { return !doctor.isRunning() && doctor.lastRunAt() != before; });
    };
    ASSERT_TRUE(test::waitUntil([&] { return doctor.lastRunAt().has_value(); }));
    EXPECT_EQ(doctor.runningCount(), 0);
    EXPECT_EQ(page->model().state(CLIAdapter::ID::ClaudeCode), CLIInstallState::Installable);
    // Without a stored secret the running murmeli takes events that carry none; the install makes one, which it
    // insists on from then on, without a restart.
    const quint16 port = test::ControllerProbe::hookServer(murmeli.controller).port();
    const auto postWith = [port](const QByteArray& secret) {
        return test::postHook(port, QStringLiteral("/hook/Stop"), "{}",
            "x-murmeli-adapter: claude-code\r\n"
                + (secret.isEmpty() ? QByteArray() : "Authorization: Bearer " + secret + "\r\n"));
    };
    const QByteArray ok = test::expectedReply(200, "OK", R"({"ok":true})");
    EXPECT_EQ(postWith({}), ok);

    QTest::mouseClick(page->adaptersCard()->findChild<ui::KitButton*>("install-claudeCode"), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return !page->model().isBusy(CLIAdapter::ID::ClaudeCode); }, 60000));
    EXPECT_FALSE(page->model().alert().has_value()) << page->model().alert()->message().toStdString();
    const QByteArray secret
        = platform::KeychainStore(platform::makeHookSecretStore(platform::makeSecretStore()))
              .load(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"))
              .toLatin1();
    ASSERT_FALSE(secret.isEmpty());
    EXPECT_EQ(postWith({}), test::expectedReply(401, "Unauthorized", R"({"error":"unauthorized"})"));
    EXPECT_EQ(postWith(secret), ok);
    EXPECT_EQ(page->model().state(CLIAdapter::ID::ClaudeCode), CLIInstallState::Active);
    EXPECT_TRUE(test::readFile(home + QStringLiteral("/.claude/settings.json")).contains("permission-hook"));
    ASSERT_TRUE(recheck());
    EXPECT_EQ(doctor.runningCount(), required);
    EXPECT_EQ(doctor.badgeLabel(), QStringLiteral("Healthy"));

    QTest::mouseClick(page->adaptersCard()->findChild<ui::KitButton*>("uninstall-claudeCode"), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page->resultAlert() != nullptr; }, 60000));
    EXPECT_EQ(page->resultAlert()->text(), QStringLiteral("Claude Code uninstalled"))
        << page->resultAlert()->informativeText().toStdString();
    EXPECT_EQ(page->model().state(CLIAdapter::ID::ClaudeCode), CLIInstallState::Installable);
    page->resultAlert()->accept();
    ASSERT_TRUE(recheck());
    EXPECT_EQ(doctor.runningCount(), 0);
    EXPECT_FALSE(test::readFile(home + QStringLiteral("/.claude/settings.json")).contains("permission-hook"));
}
