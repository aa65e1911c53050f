#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include "main/hooks/install/HookSelfCheck.h"
#include "tests/support/Files.h"

using namespace murmeli;

namespace {

struct InstallerRun {
    int exitCode = -1;
    QString output;
};

class InstallHooksTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    InstallerRun installer(const QStringList& arguments = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("/bin/bash"),
            QStringList { QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/install-hooks.sh") } + arguments);
        process.waitForFinished(60000);
        return { process.exitCode(), QString::fromUtf8(process.readAll()) };
    }

    QString settingsPath() const { return home.path() + QStringLiteral("/.claude/settings.json"); }
    QString hooksDir() const { return home.path() + QStringLiteral("/.local/share/murmeli/hooks"); }
    QStringList backups() const
    {
        return QDir(home.path() + QStringLiteral("/.claude")).entryList({ QStringLiteral("*.murmeli-backup-*") });
    }

    void writeSettings(const QByteArray& content)
    {
        QDir().mkpath(home.path() + QStringLiteral("/.claude"));
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QTemporaryDir home;
};

} // namespace

TEST_F(InstallHooksTest, FreshHomeInstallPassesTheSelfCheckAndReinstallChangesNothing)
{
    const InstallerRun first = installer();
    ASSERT_EQ(first.exitCode, 0) << first.output.toStdString();
    const hooks::HookSelfCheck::Report report = hooks::HookSelfCheck::run(settingsPath());
    EXPECT_FALSE(report.hasIssues()) << hooks::HookSelfCheck::message(report.issues.value(0)).toStdString();

    // The secret the scripts send is the one murmeli's keychain layer reads.
    const QByteArray secret = murmeli::test::readFile(hooksDir() + QStringLiteral("/hook-secret"));
    EXPECT_EQ(secret.size(), 64);
    EXPECT_EQ(murmeli::test::readFile(
                  home.path() + QStringLiteral("/.local/share/murmeli/secrets/com.murmeli.apikey.hook-auth.secret")),
        secret);
    EXPECT_EQ(
        QFileInfo(hooksDir() + QStringLiteral("/hook-secret")).permissions() & (QFile::ReadGroup | QFile::ReadOther),
        QFileDevice::Permissions());

    const QByteArray settings = murmeli::test::readFile(settingsPath());
    const QDateTime scriptTime = QFileInfo(hooksDir() + QStringLiteral("/tool-hook")).lastModified();
    const InstallerRun second = installer();
    ASSERT_EQ(second.exitCode, 0) << second.output.toStdString();
    EXPECT_EQ(murmeli::test::readFile(settingsPath()), settings);
    EXPECT_EQ(murmeli::test::readFile(hooksDir() + QStringLiteral("/hook-secret")), secret);
    EXPECT_EQ(QFileInfo(hooksDir() + QStringLiteral("/tool-hook")).lastModified(), scriptTime);
    EXPECT_TRUE(backups().isEmpty());
}

TEST_F(InstallHooksTest, UninstallLeavesTheUsersOwnSettingsAsTheyWere)
{
    const QByteArray own = R"({
  "model": "sonnet",
  "statusLine": {"type": "command", "command": "~/bin/my-status"},
  "hooks": {
    "Stop": [{"hooks": [{"type": "command", "command": "notify-send done"}]}],
    "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "/usr/local/bin/audit", "timeout": 5}]}]
  }
})";
    writeSettings(own);
    ASSERT_EQ(installer().exitCode, 0);
    EXPECT_FALSE(hooks::HookSelfCheck::run(settingsPath()).hasIssues());
    EXPECT_EQ(backups().size(), 1);

    const InstallerRun removed = installer({ QStringLiteral("--uninstall") });
    ASSERT_EQ(removed.exitCode, 0) << removed.output.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(murmeli::test::readFile(settingsPath())), QJsonDocument::fromJson(own));
    EXPECT_FALSE(QFileInfo::exists(hooksDir()));
    EXPECT_FALSE(QFileInfo::exists(
        home.path() + QStringLiteral("/.local/share/murmeli/secrets/com.murmeli.apikey.hook-auth.secret")));
}

TEST_F(InstallHooksTest, BrokenSettingsAreRefusedAndLeftAlone)
{
    const QByteArray broken = "{\n  \"hooks\": { \"Stop\": [ }\n";
    writeSettings(broken);
    const InstallerRun run = installer();
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.output.contains(QStringLiteral("not valid JSON"))) << run.output.toStdString();
    EXPECT_EQ(murmeli::test::readFile(settingsPath()), broken);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(hooksDir()));
    EXPECT_NE(installer({ QStringLiteral("--uninstall") }).exitCode, 0);
    EXPECT_EQ(murmeli::test::readFile(settingsPath()), broken);
}
