#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/server/HookServer.h"
#include "platform/secrets/file/FileSecretStore.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

const QString installScript = QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/install-hooks.sh");
const QString murmeliBinary = QStringLiteral(MURMELI_BINARY);

struct InstallerRun {
    int exitCode = -1;
    QString output;
    // Standard error, where it was kept apart from the output.
    QString errors;
};

class InstallHooksTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    InstallerRun installer(const QStringList& arguments = {})
    {
        return runAtOnce(QStringLiteral("/bin/bash"), { QStringList { installScript } + arguments }).front();
    }

    // Starts one process per argument list, all before waiting for any; standard error goes with the output unless
    // it is to be kept apart.
    std::vector<InstallerRun> runAtOnce(
        const QString& program, const QList<QStringList>& argumentLists, bool errorsApart = false)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        std::vector<std::unique_ptr<QProcess>> processes;
        for (const QStringList& arguments : argumentLists) {
            auto& process = processes.emplace_back(std::make_unique<QProcess>());
            process->setProcessEnvironment(environment);
            process->setProcessChannelMode(errorsApart ? QProcess::SeparateChannels : QProcess::MergedChannels);
            process->start(program, arguments);
        }
        std::vector<InstallerRun> runs;
        for (const auto& process : processes) {
            process->waitForFinished(60000);
            runs.push_back({ process->exitCode(), QString::fromUtf8(process->readAllStandardOutput()),
                errorsApart ? QString::fromUtf8(process->readAllStandardError()) : QString() });
        }
        return runs;
    }

    QString settingsPath() const { return home.path() + QStringLiteral("/.claude/settings.json"); }
    QString hooksDir() const { return home.path() + QStringLiteral("/.local/share/murmeli/hooks"); }
    QString storedSecretPath() const
    {
        return home.path() + QStringLiteral("/.local/share/murmeli/secrets/com.murmeli.apikey.hook-auth.secret");
    }
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
    EXPECT_EQ(murmeli::test::readFile(storedSecretPath()), secret);
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
    EXPECT_FALSE(QFileInfo::exists(storedSecretPath()));
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

TEST_F(InstallHooksTest, InstallersRunningAtOnceAgreeOnTheSecretAndKeepEveryBackup)
{
    const auto secrets
        = runAtOnce(murmeliBinary, QList<QStringList>(12, { QStringLiteral("hooks"), QStringLiteral("secret") }));
    const QByteArray stored = murmeli::test::readFile(storedSecretPath());
    ASSERT_EQ(stored.size(), 64);
    for (const InstallerRun& run : secrets) {
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_EQ(run.output.trimmed().toUtf8(), stored);
    }

    // Edits started in the same millisecond each keep a backup of their own.
    writeSettings(R"({"model":"sonnet"})");
    QList<QStringList> edits;
    for (int i = 0; i < 16; ++i) {
        edits << (i % 2 ? QStringList { QStringLiteral("hooks"), QStringLiteral("uninstall"),
                      QStringLiteral("--settings"), settingsPath() }
                        : QStringList { QStringLiteral("hooks"), QStringLiteral("install"),
                            QStringLiteral("--hooks-dir"), hooksDir(), QStringLiteral("--settings"), settingsPath() });
    }
    for (const InstallerRun& run : runAtOnce(murmeliBinary, edits)) {
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    }
    EXPECT_FALSE(backups().isEmpty());
    for (const QString& backup : backups()) {
        EXPECT_TRUE(QJsonDocument::fromJson(murmeli::test::readFile(home.path() + QStringLiteral("/.claude/") + backup))
                        .isObject())
            << backup.toStdString();
    }

    // Whole installers at once leave one working installation with the stored secret.
    for (const InstallerRun& run : runAtOnce(QStringLiteral("/bin/bash"), QList<QStringList>(6, { installScript }))) {
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    }
    EXPECT_FALSE(hooks::HookSelfCheck::run(settingsPath()).hasIssues());
    EXPECT_EQ(murmeli::test::readFile(hooksDir() + QStringLiteral("/hook-secret")), stored);
}

// A stored secret that an editor ended with a line break or that a restore left open to others, and a hook's copy
// edited by hand: murmeli and the real hook scripts read the secret alike, so the hooks get in, and a reinstall keeps
// the secret the agents already hold.
TEST_F(InstallHooksTest, TheHookScriptsAndMurmeliReadTheSecretAlike)
{
    const QByteArray secret = "7d1c0a9e54b2f3860d1e2c3b4a5968778695a4b3c2d1e0f1a2b3c4d5e6f70819";
    const struct {
        const char* what;
        QByteArray stored;
        mode_t mode;
        // What the hook's copy is changed to after the install; empty to leave it.
        QByteArray editedCopy;
    } cases[] = {
        { "stored with a line break", secret + "\n", 0600, {} },
        { "stored open to others", secret, 0644, {} },
        { "the hook's copy ends in a line break", secret, 0600, secret + "\r\n" },
    };
    const QString secretsDir = QFileInfo(storedSecretPath()).path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& made : { QStringLiteral("/.local"), QStringLiteral("/.claude") }) {
            QDir(home.path() + made).removeRecursively();
        }
        ASSERT_TRUE(QDir().mkpath(secretsDir));
        QFile stored(storedSecretPath());
        ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
        stored.write(c.stored);
        stored.close();
        ASSERT_EQ(::chmod(QFile::encodeName(storedSecretPath()).constData(), c.mode), 0);

        const InstallerRun run = installer();
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_EQ(murmeli::test::readFile(hooksDir() + QStringLiteral("/hook-secret")), secret);
        if (!c.editedCopy.isEmpty()) {
            QFile copy(hooksDir() + QStringLiteral("/hook-secret"));
            ASSERT_TRUE(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
            copy.write(c.editedCopy);
        }

        hooks::HookServer server { platform::KeychainStore(std::make_shared<platform::FileSecretStore>(secretsDir)) };
        server.start(0);
        ASSERT_TRUE(server.authEnforced());
        QProcess hook;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("MURMELI_PORT"), QString::number(server.port()));
        environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), home.path() + QStringLiteral("/status"));
        hook.setProcessEnvironment(environment);
        hook.start(
            QStringLiteral("/bin/bash"), { hooksDir() + QStringLiteral("/session-hook"), QStringLiteral("Stop") });
        hook.write(R"({"session_id": "0a1b2c3d4e5f"})");
        hook.closeWriteChannel();
        ASSERT_TRUE(murmeli::test::waitUntil([&] { return hook.state() == QProcess::NotRunning; }, 30000));
        EXPECT_EQ(server.totalEventCount(), 1);
        EXPECT_EQ(server.bearerRejectCount(), 0);
    }
}

// A secret file of the user's own that holds what no hook can send (made by hand from random bytes, cut short,
// garbled): `murmeli hooks secret` and the installers stop, say which file, what is wrong with it and how to mend it,
// and keep it as it was; nothing is installed that would carry another secret than the one murmeli reads.
TEST_F(InstallHooksTest, AStoredSecretThatCannotBeUsedStopsTheInstallersAndIsKept)
{
    const struct {
        const char* what;
        QByteArray stored;
        QString why;
        QString installer;
    } cases[] = {
        { "over 64 KiB", QByteArray(64 * 1024 + 1, 'a'), QStringLiteral("is over 64 KiB"),
            QStringLiteral("install-hooks.sh") },
        { "random bytes", QByteArray::fromHex("8f3ac1ffe0017b9d"), QStringLiteral("is not UTF-8 text"),
            QStringLiteral("install-codex-hook") },
        { "only white space", " \n\n", QStringLiteral("holds only white space"), QStringLiteral("install-hooks.sh") },
        { "a NUL byte", QByteArray("s3c\0ret", 7), QStringLiteral("holds a NUL byte"),
            QStringLiteral("install-gemini-hook") },
        { "a carriage return inside", "s3c\rret", QStringLiteral("holds a line break inside it"),
            QStringLiteral("install-hooks.sh") },
    };
    const QString secretsDir = QFileInfo(storedSecretPath()).path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(home.path() + QStringLiteral("/.local")).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(secretsDir));
        QFile stored(storedSecretPath());
        ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
        stored.write(c.stored);
        stored.close();
        ASSERT_EQ(::chmod(QFile::encodeName(storedSecretPath()).constData(), 0600), 0);
        const QString said = storedSecretPath() + QLatin1Char(' ') + c.why;

        const InstallerRun secret
            = runAtOnce(murmeliBinary, { { QStringLiteral("hooks"), QStringLiteral("secret") } }, true).front();
        EXPECT_NE(secret.exitCode, 0);
        EXPECT_TRUE(secret.output.isEmpty()) << "taken for the secret: " << secret.output.left(80).toStdString();
        EXPECT_TRUE(secret.errors.contains(said)) << secret.errors.toStdString();
        EXPECT_TRUE(secret.errors.contains(QStringLiteral("remove it"))) << secret.errors.toStdString();

        const InstallerRun install = runAtOnce(QStringLiteral("/bin/bash"),
            { { QFileInfo(installScript).path() + QLatin1Char('/')
                + c.installer } }).front();
        EXPECT_NE(install.exitCode, 0);
        EXPECT_TRUE(install.output.contains(said)) << install.output.toStdString();
        EXPECT_TRUE(install.output.contains(QStringLiteral("nothing was changed"))) << install.output.toStdString();
        EXPECT_FALSE(QFileInfo::exists(hooksDir()));
        EXPECT_FALSE(QFileInfo::exists(settingsPath()));
        EXPECT_EQ(murmeli::test::readFile(storedSecretPath()), c.stored) << "the file is left as it was";
    }
}
