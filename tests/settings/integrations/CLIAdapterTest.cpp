#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/hooks/install/ClaudeSettingsEditor.h"
#include "main/settings/integrations/CLIAdapter.h"
#include "platform/secrets/fake/FakeSecretStore.h"

using namespace murmeli;
using settings::CLIAdapter;
using settings::CLIInstallState;

namespace {

void touch(const QString& path, const QByteArray& content = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

const CLIAdapter& adapter(CLIAdapter::ID id)
{
    const auto& all = CLIAdapter::allCases();
    return *std::find_if(all.begin(), all.end(), [id](const CLIAdapter& a) { return a.id == id; });
}

} // namespace

TEST(CLIAdapterTest, ScriptsAreFoundBesideTheSourceTreeOrInAnInstalledPrefix)
{
    QTemporaryDir root;
    const QString buildExecutable = root.path() + QStringLiteral("/src/build/main/app/murmeli");
    const QString installedExecutable = root.path() + QStringLiteral("/usr/bin/murmeli");
    touch(buildExecutable);
    touch(installedExecutable);
    const CLIAdapter& claude = adapter(CLIAdapter::ID::ClaudeCode);
    EXPECT_EQ(claude.installScriptPath(buildExecutable), std::nullopt);

    touch(root.path() + QStringLiteral("/src/Resources/scripts/install-hooks.sh"));
    touch(root.path() + QStringLiteral("/usr/share/murmeli/scripts/install-hooks.sh"));
    EXPECT_EQ(claude.installScriptPath(buildExecutable),
        QDir(root.path()).canonicalPath() + QStringLiteral("/src/Resources/scripts/install-hooks.sh"));
    EXPECT_EQ(claude.installScriptPath(installedExecutable),
        QDir(root.path()).canonicalPath() + QStringLiteral("/usr/share/murmeli/scripts/install-hooks.sh"));
    EXPECT_EQ(adapter(CLIAdapter::ID::Kimi).installScriptPath(buildExecutable), std::nullopt);
}

TEST(CLIAdapterTest, StateComesFromTheSecretOrTheAgentsConfiguration)
{
    QTemporaryDir root;
    const QString executable = root.path() + QStringLiteral("/src/build/main/app/murmeli");
    touch(executable);
    const QString home = root.path() + QStringLiteral("/home");
    auto secrets = std::make_shared<platform::FakeSecretStore>();
    const platform::KeychainStore keychain(secrets);

    // Claude Code: a stored secret and every required event registered; a stale script path still counts.
    const CLIAdapter& claude = adapter(CLIAdapter::ID::ClaudeCode);
    const QString claudeSettings = home + QStringLiteral("/.claude/settings.json");
    hooks::JsonText withOurs = hooks::JsonText::object();
    QString problem;
    ASSERT_TRUE(
        hooks::ClaudeSettingsEditor::installHooks(withOurs, QStringLiteral("/gone/murmeli/hooks"), nullptr, &problem));
    const QJsonObject installed = QJsonDocument::fromJson(withOurs.toText()).object();
    touch(claudeSettings, QJsonDocument(installed).toJson());
    EXPECT_EQ(claude.detectState(executable, keychain, home), CLIInstallState::Installable);
    secrets->save(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), "s");
    EXPECT_EQ(claude.detectState(executable, keychain, home), CLIInstallState::Active);
    QJsonObject oneMissing = installed;
    QJsonObject registered = installed.value(QStringLiteral("hooks")).toObject();
    registered.remove(QStringLiteral("Stop"));
    oneMissing.insert(QStringLiteral("hooks"), registered);
    touch(claudeSettings, QJsonDocument(oneMissing).toJson());
    EXPECT_EQ(claude.detectState(executable, keychain, home), CLIInstallState::Installable);
    touch(claudeSettings, "{");
    EXPECT_EQ(claude.detectState(executable, keychain, home), CLIInstallState::Installable);

    // Without its installer an adapter is coming soon, whatever its configuration says.
    touch(home + QStringLiteral("/.gemini/settings.json"), R"({"x":"gemini-hook"})");
    EXPECT_EQ(adapter(CLIAdapter::ID::Gemini).detectState(executable, keychain, home), CLIInstallState::ComingSoon);
    touch(root.path() + QStringLiteral("/src/Resources/scripts/install-gemini-hook"));
    EXPECT_EQ(adapter(CLIAdapter::ID::Gemini).detectState(executable, keychain, home), CLIInstallState::Active);

    // Codex's file must also be valid JSON.
    touch(root.path() + QStringLiteral("/src/Resources/scripts/install-codex-hook"));
    touch(home + QStringLiteral("/.codex/hooks.json"), "not json codex-hook");
    EXPECT_EQ(adapter(CLIAdapter::ID::Codex).detectState(executable, keychain, home), CLIInstallState::Installable);
    touch(home + QStringLiteral("/.codex/hooks.json"), R"(["codex-hook"])");
    EXPECT_EQ(adapter(CLIAdapter::ID::Codex).detectState(executable, keychain, home), CLIInstallState::Active);

    touch(root.path() + QStringLiteral("/src/Resources/scripts/install-kimi"));
    EXPECT_EQ(adapter(CLIAdapter::ID::Kimi).detectState(executable, keychain, home), CLIInstallState::ComingSoon);
}
