#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include "main/settings/integrations/CLIAdapter.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/Files.h"

using namespace murmeli;
using settings::CLIAdapter;
using settings::CLIInstallState;

namespace {

struct Installer {
    CLIAdapter::ID id;
    // The user's own file the installer edits (or, for OpenCode, leaves alone), and what it holds.
    const char* userFile;
    QByteArray userContent;
    // A file the installer must refuse and leave as it is: broken JSON, or a plugin or hook murmeli did not write.
    const char* refusedFile;
    QByteArray refusedContent;
};

const std::vector<Installer> installers {
    { CLIAdapter::ID::Codex, "/.codex/hooks.json",
        R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "notify-send done"}]}]}})",
        "/.codex/hooks.json", "{\"hooks\": [" },
    { CLIAdapter::ID::Gemini, "/.gemini/settings.json",
        R"({"ui": {"theme": "x"}, "hooks": {"AfterTool": [{"matcher": "x", "hooks": [{"type": "command",
           "command": "/bin/audit", "timeout": 5000}]}]}})",
        "/.gemini/settings.json", "{\"ui\": " },
    { CLIAdapter::ID::Qoder, "/.qoder/settings.json", R"({"model": "q"})", "/.qoder/settings.json", "[1," },
    { CLIAdapter::ID::CodeBuddy, "/.codebuddy/settings.json", R"({"model": "c"})", "/.codebuddy/settings.json",
        "\xff\xfe" },
    { CLIAdapter::ID::OpenCode, "/.config/opencode/opencode.json", R"({"model": "fake/fake-model"})",
        "/.config/opencode/plugins/murmeli.js", "export const Mine = async () => ({})\n" },
    { CLIAdapter::ID::OpenClaw, "/.openclaw/openclaw.json", R"({"gateway": {"port": 18789}})",
        "/.openclaw/openclaw.json", "{\"gateway\": {" },
};

const CLIAdapter& adapter(CLIAdapter::ID id)
{
    const auto& all = CLIAdapter::allCases();
    return *std::find_if(all.begin(), all.end(), [id](const CLIAdapter& a) { return a.id == id; });
}

void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// Every file below the home with its bytes, so a run that changes nothing can be told from one that does.
QMap<QString, QByteArray> snapshot(const QString& home)
{
    QMap<QString, QByteArray> files;
    for (const QString& file : test::filesUnder(home)) {
        files.insert(file, test::readFile(home + QLatin1Char('/') + file));
    }
    return files;
}

class AgentInstallersTest : public ::testing::Test {
protected:
    struct Run {
        int exitCode = -1;
        QString output;
    };

    Run installer(const CLIAdapter& a, const QString& home, const QStringList& arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        for (const char* name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "OPENCLAW_STATE_DIR", "CODEX_HOME" }) {
            environment.remove(QString::fromLatin1(name));
        }
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("/bin/bash"),
            QStringList { QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/") + a.installScriptName } + arguments);
        process.waitForFinished(60000);
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll()) };
    }

    CLIInstallState state(const CLIAdapter& a, const QString& home)
    {
        return a.detectState(executable, keychain, home);
    }

    // The page looks for the installers from the executable's place: here one in a build folder of a tree whose
    // Resources are the real ones.
    void SetUp() override
    {
        executable = tree.path() + QStringLiteral("/build/main/app/murmeli");
        write(executable, {});
        ASSERT_TRUE(
            QFile::link(QStringLiteral(MURMELI_SOURCE_DIR "/Resources"), tree.path() + QStringLiteral("/Resources")));
    }

    QTemporaryDir tree;
    QString executable;
    platform::KeychainStore keychain { std::make_shared<platform::FakeSecretStore>() };
};

} // namespace

TEST_F(AgentInstallersTest, InstallAgainChangesNothingAndUninstallGivesTheUsersFileBack)
{
    for (const Installer& each : installers) {
        const CLIAdapter& a = adapter(each.id);
        const std::string name = a.installScriptName.toStdString();
        QTemporaryDir home;
        const QString userFile = home.path() + QLatin1String(each.userFile);
        write(userFile, each.userContent);
        EXPECT_EQ(state(a, home.path()), CLIInstallState::Installable) << name;

        const Run installed = installer(a, home.path());
        ASSERT_EQ(installed.exitCode, 0) << name << ": " << installed.output.toStdString();
        EXPECT_EQ(state(a, home.path()), CLIInstallState::Active) << name;
        const QString scripts = home.path() + QStringLiteral("/.local/share/murmeli/hooks/");
        const QStringList hookFiles = test::filesUnder(scripts);
        EXPECT_EQ(hookFiles.size(), 3) << name << ": " << hookFiles.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(test::readFile(scripts + hookFiles.filter(QStringLiteral("/hook-secret")).value(0)).size(), 64)
            << name;

        const auto before = snapshot(home.path());
        const Run again = installer(a, home.path());
        ASSERT_EQ(again.exitCode, 0) << name << ": " << again.output.toStdString();
        EXPECT_EQ(snapshot(home.path()), before) << name;

        const Run removed = installer(a, home.path(), { QStringLiteral("--uninstall") });
        ASSERT_EQ(removed.exitCode, 0) << name << ": " << removed.output.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(test::readFile(userFile)), QJsonDocument::fromJson(each.userContent)) << name;
        EXPECT_EQ(state(a, home.path()), CLIInstallState::Installable) << name;
        EXPECT_FALSE(QFileInfo::exists(scripts + hookFiles.value(0).section(QLatin1Char('/'), 0, 0))) << name;
    }
}

TEST_F(AgentInstallersTest, AFileMurmeliCannotCallItsOwnIsRefusedAndLeftAlone)
{
    for (const Installer& each : installers) {
        const CLIAdapter& a = adapter(each.id);
        const std::string name = a.installScriptName.toStdString();
        QTemporaryDir home;
        write(home.path() + QLatin1String(each.refusedFile), each.refusedContent);
        const auto before = snapshot(home.path());
        for (const QStringList& arguments : { QStringList {}, QStringList { QStringLiteral("--uninstall") } }) {
            const Run run = installer(a, home.path(), arguments);
            EXPECT_NE(run.exitCode, 0) << name << ": " << run.output.toStdString();
            EXPECT_TRUE(run.output.contains(QStringLiteral("left as it is")))
                << name << ": " << run.output.toStdString();
            EXPECT_EQ(snapshot(home.path()), before) << name;
        }
    }
}
