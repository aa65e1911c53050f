#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "main/hooks/install/HookSelfCheck.h"
#include "main/settings/integrations/CLIAdapter.h"
#include "main/settings/integrations/HookInstaller.h"
#include "main/settings/integrations/IntegrationsModel.h"
#include "platform/autostart/xdg/XdgAutostartEntry.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "platform/secrets/file/FileSecretStore.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

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
    { CLIAdapter::ID::QwenCode, "/.qwen/settings.json", R"({"security": {"auth": {"selectedType": "openai"}}})",
        "/.qwen/settings.json", "{\"hooks\": {\"Stop\": " },
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

const QString scripts = QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/");

// The variables an installer takes a place from ("${NAME:-default}"), read from the script and the library it
// sources, so that a variable a script starts to honour is tried here without a word of this test changing.
QStringList placeVariablesOf(const QString& script)
{
    static const QRegularExpression withDefault(QStringLiteral(R"(\$\{([A-Z][A-Z0-9_]*):-)"));
    QStringList names;
    for (const QString& file : { script, scripts + QStringLiteral("murmeli-install-lib.sh") }) {
        for (auto it = withDefault.globalMatch(QString::fromUtf8(test::readFile(file))); it.hasNext();) {
            const QString name = it.next().captured(1);
            // The executable, not a place.
            if (name != QLatin1String("MURMELI_BIN") && !names.contains(name)) {
                names << name;
            }
        }
    }
    return names;
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

// Every file and folder below the home with its mode and bytes.
QMap<QString, QByteArray> snapshotWithModes(const QString& home)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info { };
        ::lstat(QFile::encodeName(path).constData(), &info);
        entries.insert(QDir(home).relativeFilePath(path),
            QByteArray::number(info.st_mode & 07777, 8) + ' ' + QByteArray::number(info.st_uid) + ' '
                + test::readFile(path));
    }
    return entries;
}

class AgentInstallersTest : public ::testing::Test {
protected:
    struct Run {
        int exitCode = -1;
        QString output;
    };

    static QProcessEnvironment environmentFor(const QString& home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        for (const char* name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "OPENCLAW_STATE_DIR", "CODEX_HOME" }) {
            environment.remove(QString::fromLatin1(name));
        }
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        return environment;
    }

    // With a user id, the installer runs as that user (which needs root and setpriv), from copies that user can
    // reach: the checkout may sit in a private folder, as a clone in root's home (mode 0700 on Debian) does.
    Run installer(
        const CLIAdapter& a, const QString& home, const QStringList& arguments = {}, std::optional<uint> user = {})
    {
        QProcess process;
        QProcessEnvironment environment = environmentFor(home);
        QString folder = scripts;
        if (user) {
            const std::optional<QString> copies = copiesForOthers();
            if (!copies) {
                return { -1, QStringLiteral("no copies of the installers for another user") };
            }
            folder = *copies + QStringLiteral("/scripts/");
            environment.insert(QStringLiteral("MURMELI_BIN"), *copies + QStringLiteral("/murmeli"));
        }
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList command { QStringLiteral("/bin/bash"), folder + a.installScriptName };
        if (user) {
            command = QStringList { QStringLiteral("--reuid=%1").arg(*user), QStringLiteral("--regid=%1").arg(*user),
                QStringLiteral("--clear-groups") }
                + command;
            command.prepend(QStringLiteral("/usr/bin/setpriv"));
        }
        const QString program = command.takeFirst();
        process.start(program, command + arguments);
        process.waitForFinished(60000);
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll()) };
    }

    // The installers and murmeli copied once into a folder that every user may read and enter.
    std::optional<QString> copiesForOthers()
    {
        if (!m_copies) {
            m_copies.emplace();
            const QString root = m_copies->path();
            // Whatever the umask and the checkout's own modes: folders and programs 0755, other files 0644.
            const auto copy = [](const QString& from, const QString& to) {
                return QDir().mkpath(QFileInfo(to).absolutePath()) && QFile::copy(from, to)
                    && ::chmod(QFile::encodeName(to).constData(), QFileInfo(from).isExecutable() ? 0755 : 0644) == 0;
            };
            bool copied = copy(QStringLiteral(MURMELI_BINARY), root + QStringLiteral("/murmeli"));
            QDirIterator files(scripts, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (copied && files.hasNext()) {
                const QString from = files.next();
                copied = copy(from, root + QStringLiteral("/scripts/") + QDir(scripts).relativeFilePath(from));
            }
            copied = copied && ::chmod(QFile::encodeName(root).constData(), 0755) == 0;
            QDirIterator folders(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (copied && folders.hasNext()) {
                copied = ::chmod(QFile::encodeName(folders.next()).constData(), 0755) == 0;
            }
            m_copiesMade = copied;
        }
        return m_copiesMade ? std::optional(m_copies->path()) : std::nullopt;
    }

    CLIInstallState state(const CLIAdapter& a, const QString& home)
    {
        return a.detectState(executable, keychain, home, environmentFor(home));
    }

    // The page looks for the installers from the executable's place: here one in a build folder of a tree whose
    // Resources are the real ones, which runs the real murmeli when the installers call it.
    void SetUp() override
    {
        executable = tree.path() + QStringLiteral("/build/main/app/murmeli");
        QDir().mkpath(QFileInfo(executable).absolutePath());
        ASSERT_TRUE(test::writeScript(executable, "exec '" MURMELI_BINARY "' \"$@\"\n"));
        ASSERT_TRUE(
            QFile::link(QStringLiteral(MURMELI_SOURCE_DIR "/Resources"), tree.path() + QStringLiteral("/Resources")));
    }

    QTemporaryDir tree;
    QString executable;
    std::optional<QTemporaryDir> m_copies;
    bool m_copiesMade = false;
    platform::KeychainStore keychain { std::make_shared<platform::FakeSecretStore>() };
};

} // namespace

// Each installer, asked for its usage, prints it and ends with 0, whether murmeli is built or not; run before the first
// build (from a copy of the scripts with no build beside them, and none on PATH), it says how to get murmeli.
TEST_F(AgentInstallersTest, EachInstallerTellsItsUsageAndHowToGetMurmeli)
{
    QTemporaryDir copy;
    const QString copied = copy.filePath(QStringLiteral("scripts"));
    ASSERT_TRUE(QProcess::execute(QStringLiteral("cp"), { QStringLiteral("-r"), scripts, copied }) == 0);
    QProcessEnvironment beforeABuild = environmentFor(tree.path());
    beforeABuild.remove(QStringLiteral("MURMELI_BIN"));
    beforeABuild.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    for (const CLIAdapter& a : CLIAdapter::allCases()) {
        if (a.installScriptName.isEmpty()) {
            continue;
        }
        SCOPED_TRACE(a.installScriptName.toStdString());
        for (const QString& help : { QStringLiteral("--help"), QStringLiteral("-h") }) {
            QProcess process;
            process.setProcessEnvironment(beforeABuild);
            process.start(QStringLiteral("/bin/bash"), { copied + QLatin1Char('/') + a.installScriptName, help });
            ASSERT_TRUE(process.waitForFinished(10000));
            const QString usage = QString::fromUtf8(process.readAllStandardOutput());
            EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
            EXPECT_TRUE(usage.startsWith(QStringLiteral("usage: ") + a.installScriptName)
                && usage.contains(QStringLiteral("--uninstall")))
                << usage.toStdString();
        }
        // Before a build: plain, an install says how to get murmeli; a mistyped option is named as such first.
        for (const auto& [arguments, told] :
            std::vector<std::pair<QStringList, QString>> { { {}, QStringLiteral("bash scripts/run") },
                { { QStringLiteral("--uninstal") }, QStringLiteral("unknown argument: --uninstal") } }) {
            QProcess process;
            process.setProcessEnvironment(beforeABuild);
            process.start(QStringLiteral("/bin/bash"),
                QStringList { copied + QLatin1Char('/') + a.installScriptName } + arguments);
            ASSERT_TRUE(process.waitForFinished(10000));
            const QString said = QString::fromUtf8(process.readAllStandardError());
            EXPECT_EQ(process.exitCode(), 1);
            EXPECT_TRUE(said.contains(told)) << said.toStdString();
        }
    }
}

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

// The page and the self-check look at the file the installer wrote, wherever the environment told the installer to
// put it. Each installer runs through the page's own flows in a fresh home, once with every variable it takes a place
// from unset and once with each of them naming a place outside the home; the row reads installed and the self-check
// finds every hook the agent registers, and after the uninstall the row is available again.
TEST_F(AgentInstallersTest, ThePageFindsWhatTheInstallerWroteWhereverTheEnvironmentPutIt)
{
    using hooks::HookSelfCheck::Issue;
    for (const CLIAdapter& a : CLIAdapter::allCases()) {
        if (a.installScriptName.isEmpty()) {
            continue;
        }
        const QStringList variables = placeVariablesOf(scripts + a.installScriptName);
        for (const bool moved : { false, true }) {
            const std::string name = a.installScriptName.toStdString() + (moved ? " moved by " : " unmoved, without ")
                + variables.join(QLatin1Char(' ')).toStdString();
            QTemporaryDir scratch;
            const QString home = scratch.path() + QStringLiteral("/home");
            ASSERT_TRUE(QDir().mkpath(home));
            QProcessEnvironment environment = environmentFor(home);
            for (const QString& variable : variables) {
                if (moved) {
                    environment.insert(variable, scratch.path() + QStringLiteral("/moved/") + variable);
                } else {
                    environment.remove(variable);
                }
            }
            const QString data
                = environment.value(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
            const platform::KeychainStore secrets(
                std::make_shared<platform::FileSecretStore>(data + QStringLiteral("/murmeli/secrets")));
            settings::HookInstaller claudeInstaller(executable, environment);
            settings::IntegrationsModel model({ executable, home, secrets, common::defaultCommandRunner(),
                [&claudeInstaller] { return claudeInstaller.installAndWait(); }, environment });
            const auto said = [&model] {
                return model.alert()
                    ? (model.alert()->title + QStringLiteral(": ") + model.alert()->message()).toStdString()
                    : std::string();
            };
            const QString settingsFile = a.row().settingsPath(home, environment);
            const QStringList required = a.row().requiredEvents();

            model.refreshAllCLIStatus();
            EXPECT_EQ(model.state(a.id), CLIInstallState::Installable) << name;

            model.install(a);
            ASSERT_TRUE(test::waitUntil([&] { return !model.isBusy(a.id); }, 60000)) << name;
            EXPECT_EQ(model.state(a.id), CLIInstallState::Active) << name << ": " << said();
            // OpenCode's plugin and OpenClaw's pack register no hooks block: the row's state is all there is to see.
            const auto check = [&] {
                return required.isEmpty()
                    ? hooks::HookSelfCheck::Report {}
                    : hooks::HookSelfCheck::run(settingsFile, hooks::HookSelfCheck::existsOnDisk, required);
            };
            const hooks::HookSelfCheck::Report installed = check();
            EXPECT_FALSE(installed.hasIssues())
                << name << ": " << hooks::HookSelfCheck::message(installed.issues.value(0)).toStdString();
            if (moved) {
                EXPECT_EQ(test::filesUnder(home), QStringList {}) << name;
            }

            model.uninstall(a);
            ASSERT_TRUE(test::waitUntil([&] { return !model.isBusy(a.id); }, 60000)) << name;
            EXPECT_EQ(model.state(a.id), CLIInstallState::Installable) << name << ": " << said();
            // The last agent taken out: its file, which held nothing but murmeli's, the secret, and every folder
            // murmeli created are gone again.
            if (!required.isEmpty()) {
                EXPECT_EQ(check().issues, QList { Issue::settingsMissing(settingsFile) }) << name;
            }
            QDirIterator left(
                scratch.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            EXPECT_EQ(left.hasNext() ? left.next() : QString(), home) << name;
            EXPECT_FALSE(left.hasNext()) << name << ": " << left.next().toStdString();
        }
    }
}

// The user's values come back as they were written (a 20-digit integer, 1.0, 1e-7, their order and layout) after an
// install and an uninstall, and a value of a shape murmeli does not know is kept as it is or the whole file refused
// with nothing changed, never dropped.
TEST_F(AgentInstallersTest, UsersValuesComeBackAsWrittenAndUnknownShapesAreNeverDropped)
{
    const QByteArray numbers
        = "{\"zz\": 12345678901234567890, \"a\": 1.0,\n \"e\": 1e-7, \"hooks\": {\"Stop\": [], \"BeforeTool\": []}}\n";
    struct Case {
        CLIAdapter::ID id;
        const char* file;
        QByteArray kept;
        QByteArray refused;
    };
    const std::vector<Case> cases {
        { CLIAdapter::ID::ClaudeCode, "/.claude/settings.json",
            R"({"statusLine": "mine", "hooks": {"Setup": {"command": "x"}, "Stop": [7, {"hooks": 1}]}})",
            R"({"hooks": {"Stop": {"command": "my-stop-sound"}}})" },
        { CLIAdapter::ID::Gemini, "/.gemini/settings.json", R"({"hooks": {"Mine": {"command": "my-start"}}})",
            R"({"hooks": "off"})" },
        { CLIAdapter::ID::Gemini, "/.gemini/settings.json", R"({"hooks": {"AfterAgent": ["x"]}})",
            R"({"hooks": [{"command": "mine"}]})" },
        { CLIAdapter::ID::Gemini, "/.gemini/settings.json", R"({"hooksConfig": [1]})",
            R"({"hooks": {"SessionStart": {"command": "my-start"}}})" },
        { CLIAdapter::ID::Codex, "/.codex/hooks.json", R"({"hooks": {"Stop": [null]}})",
            R"({"hooks": {"Stop": "x"}})" },
        { CLIAdapter::ID::Qoder, "/.qoder/settings.json", R"({"hooks": {"X": 1}})", R"({"hooks": 1})" },
        { CLIAdapter::ID::CodeBuddy, "/.codebuddy/settings.json", R"({"hooks": {}})", R"({"hooks": true})" },
        { CLIAdapter::ID::OpenClaw, "/.openclaw/openclaw.json", R"({"hooks": {"internal": {"entries": {"x": 1}}}})",
            R"({"hooks": {"internal": {"entries": []}}})" },
    };
    for (const Case& c : cases) {
        const CLIAdapter& a = adapter(c.id);
        for (const QByteArray& content : { numbers, c.kept }) {
            const std::string name = a.installScriptName.toStdString() + ": " + content.toStdString();
            QTemporaryDir home;
            write(home.path() + QLatin1String(c.file), content);
            const Run installed = installer(a, home.path());
            ASSERT_EQ(installed.exitCode, 0) << name << ": " << installed.output.toStdString();
            // Claude Code's state is its stored secret, which the test's keychain does not hold.
            EXPECT_TRUE(c.id == CLIAdapter::ID::ClaudeCode || state(a, home.path()) == CLIInstallState::Active) << name;
            const Run removed = installer(a, home.path(), { QStringLiteral("--uninstall") });
            ASSERT_EQ(removed.exitCode, 0) << name << ": " << removed.output.toStdString();
            EXPECT_EQ(test::readFile(home.path() + QLatin1String(c.file)), content) << name;
        }
        QTemporaryDir home;
        write(home.path() + QLatin1String(c.file), c.refused);
        const auto before = snapshotWithModes(home.path());
        const Run run = installer(a, home.path());
        EXPECT_NE(run.exitCode, 0) << c.refused.data();
        EXPECT_TRUE(run.output.contains(QStringLiteral("where murmeli expects"))) << run.output.toStdString();
        EXPECT_EQ(snapshotWithModes(home.path()), before) << c.refused.data();
    }
}

// Codex cancels a permission request on Esc without ending the hook that waits on it; its Interrupt event is how
// murmeli learns of it. The installer registers it beside any Interrupt hook of the user's own, and the uninstall
// takes only murmeli's away.
TEST_F(AgentInstallersTest, CodexInstallerRegistersTheInterruptAndKeepsTheUsersOwn)
{
    const CLIAdapter& codex = adapter(CLIAdapter::ID::Codex);
    const QString mine = QStringLiteral("notify-send interrupted");
    const struct {
        const char* what;
        QByteArray content;
        QStringList usersOwn;
    } cases[] = {
        { "no Interrupt hook of the user's",
            R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "x"}]}]}})", {} },
        { "the user's own Interrupt hook",
            R"({"hooks": {"Interrupt": [{"hooks": [{"type": "command", "command": "notify-send interrupted"}]}]}})",
            { mine } },
    };
    const auto interruptCommands = [](const QString& file) {
        QStringList commands;
        const QJsonObject hooks = QJsonDocument::fromJson(test::readFile(file)).object().value("hooks").toObject();
        for (const QJsonValue group : hooks.value(QStringLiteral("Interrupt")).toArray()) {
            for (const QJsonValue hook : group.toObject().value(QStringLiteral("hooks")).toArray()) {
                commands << hook.toObject().value(QStringLiteral("command")).toString();
            }
        }
        return commands;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        const QString file = home.path() + QStringLiteral("/.codex/hooks.json");
        write(file, c.content);
        const Run installed = installer(codex, home.path());
        ASSERT_EQ(installed.exitCode, 0) << installed.output.toStdString();
        const QString ours
            = QStringLiteral("'%1/.local/share/murmeli/hooks/codex/codex-hook' Interrupt").arg(home.path());
        EXPECT_EQ(interruptCommands(file), c.usersOwn + QStringList { ours });

        const Run removed = installer(codex, home.path(), { QStringLiteral("--uninstall") });
        ASSERT_EQ(removed.exitCode, 0) << removed.output.toStdString();
        EXPECT_EQ(interruptCommands(file), c.usersOwn);
        EXPECT_EQ(QJsonDocument::fromJson(test::readFile(file)), QJsonDocument::fromJson(c.content));
    }
}

// Codex runs some hooks for no longer than it allows, and warns at each start of a file asking for more (Codex 0.171:
// "clamping Interrupt hook timeout to 3s"); a held request still gets the 58 s murmeli may take to answer.
TEST_F(AgentInstallersTest, CodexIsGivenTimeLimitsItTakesAsTheyAre)
{
    const struct {
        const char* event;
        int least, most;
    } cases[] = { { "Interrupt", 1, 3 }, { "SessionEnd", 1, 3 }, { "PermissionRequest", 58, 3600 } };
    QTemporaryDir home;
    ASSERT_EQ(installer(adapter(CLIAdapter::ID::Codex), home.path()).exitCode, 0);
    const QJsonObject hooks = QJsonDocument::fromJson(test::readFile(home.path() + "/.codex/hooks.json"))
                                  .object()
                                  .value("hooks")
                                  .toObject();
    for (const auto& c : cases) {
        const QJsonValue group = hooks.value(QLatin1String(c.event)).toArray().first();
        const int timeout = group.toObject().value("hooks").toArray().first().toObject().value("timeout").toInt();
        EXPECT_TRUE(timeout >= c.least && timeout <= c.most) << c.event << ": " << timeout;
    }
}

// A settings file its owner made read-only, or a read-only folder an installer would write in, is refused before
// anything changes, both for root (who could write there) and for a user, and said to be read-only; modes stay as they
// were.
TEST_F(AgentInstallersTest, ReadOnlyFilesAndFoldersAreHonouredAsRootAndAsAUser)
{
    constexpr uint user = 4242;
    const bool canSwitch = ::geteuid() == 0 && QFileInfo::exists(QStringLiteral("/usr/bin/setpriv"));
    struct Case {
        CLIAdapter::ID id;
        const char* path; // made read-only: a file (0444) or, ending in "/", a folder (0555)
        const char* userFile; // the user's own file beside it
    };
    const std::vector<Case> cases {
        { CLIAdapter::ID::ClaudeCode, "/.claude/settings.json", "/.claude/settings.json" },
        { CLIAdapter::ID::ClaudeCode, "/.claude/", "/.claude/settings.json" },
        { CLIAdapter::ID::Gemini, "/.gemini/settings.json", "/.gemini/settings.json" },
        { CLIAdapter::ID::Codex, "/.local/share/murmeli/hooks/", "/.codex/hooks.json" },
        { CLIAdapter::ID::OpenCode, "/.config/opencode/plugins/", "/.config/opencode/opencode.json" },
        { CLIAdapter::ID::OpenClaw, "/.openclaw/hooks/", "/.openclaw/openclaw.json" },
        { CLIAdapter::ID::OpenClaw, "/.openclaw/openclaw.json", "/.openclaw/openclaw.json" },
    };
    for (const bool asUser : { false, true }) {
        if (asUser && !canSwitch) {
            std::cout << "not run as a user: needs root and /usr/bin/setpriv" << std::endl;
            continue;
        }
        for (const Case& c : cases) {
            const CLIAdapter& a = adapter(c.id);
            const std::string name
                = a.installScriptName.toStdString() + " " + c.path + (asUser ? " as a user" : " as root");
            QTemporaryDir scratch;
            const QString home = scratch.path() + QStringLiteral("/home");
            write(home + QLatin1String(c.userFile), "{\"a\": 1.0}");
            const QString readOnly = home + QLatin1String(c.path);
            QDir().mkpath(QFileInfo(readOnly).absolutePath());
            if (asUser) {
                ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
                QDirIterator it(
                    home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
                ASSERT_EQ(::chown(QFile::encodeName(home).constData(), user, user), 0);
                while (it.hasNext()) {
                    ASSERT_EQ(::chown(QFile::encodeName(it.next()).constData(), user, user), 0);
                }
            }
            ::chmod(QFile::encodeName(readOnly).constData(), readOnly.endsWith(QLatin1Char('/')) ? 0555 : 0444);
            const auto before = snapshotWithModes(home);
            const Run run = installer(a, home, {}, asUser ? std::optional(user) : std::nullopt);
            EXPECT_EQ(run.exitCode, 1) << name << ": " << run.output.toStdString();
            // The installer's own check says so, before it writes anything.
            EXPECT_TRUE(run.output.contains(QStringLiteral("(read-only); nothing was changed")))
                << name << ": " << run.output.toStdString();
            EXPECT_EQ(snapshotWithModes(home), before) << name;
            ::chmod(QFile::encodeName(readOnly).constData(), 0755);
        }
    }
}

// The removal script takes out everything murmeli made in a home where three agents were connected, launch at login
// was on and murmeli had run: what is left is the user's own files and the backups murmeli made of them, which it
// names. A folder murmeli shares with others stays while it holds theirs; an agent whose hooks cannot be taken out
// keeps the hook files it still uses; a murmeli running from the home stops the removal before anything changes.
TEST_F(AgentInstallersTest, RemovalLeavesTheUsersFilesAndNamesTheBackupsItKeeps)
{
    struct Case {
        const char* name;
        bool othersAutostart; // the autostart folder was there, with another program's entry
        bool codexBroken; // the user broke Codex's file after the install: its hooks cannot be taken out
        bool running;
        int exitCode;
    };
    const std::vector<Case> cases {
        { "all murmeli made", false, false, false, 0 },
        { "another program starts at sign-in", true, false, false, 0 },
        { "one agent's file is broken", false, true, false, 1 },
        { "murmeli still runs", false, false, true, 1 },
    };
    const QString uid = QString::number(::getuid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir scratch;
        const QString home = scratch.path() + QStringLiteral("/home");
        const QString temp = scratch.path() + QStringLiteral("/tmp");
        const QString status = scratch.path() + QStringLiteral("/status");
        write(home + QStringLiteral("/.claude/settings.json"), R"({"model": "sonnet"})");
        write(home + QStringLiteral("/.codex/hooks.json"), installers.front().userContent);
        if (c.othersAutostart) {
            write(home + QStringLiteral("/.config/autostart/other.desktop"), "[Desktop Entry]\n");
        }
        for (const CLIAdapter::ID id :
            { CLIAdapter::ID::ClaudeCode, CLIAdapter::ID::Codex, CLIAdapter::ID::QwenCode }) {
            const Run run = installer(adapter(id), home);
            ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        }
        if (c.codexBroken) {
            write(home + QStringLiteral("/.codex/hooks.json"), "{\"hooks\": ");
        }
        const QStringList backups = test::filesUnder(home).filter(QStringLiteral(".murmeli-backup-"));
        ASSERT_EQ(backups.size(), 2) << backups.join(QLatin1Char(' ')).toStdString();
        platform::XdgAutostartEntry autostart(home + QStringLiteral("/.config/autostart"),
            QStringLiteral("/usr/bin/murmeli"), home + QStringLiteral("/.config/murmeli/autostart-folder-made"));
        ASSERT_EQ(autostart.setEnabled(true), std::nullopt);
        write(home + QStringLiteral("/.config/murmeli/defaults.json"), "{}");
        write(home + QStringLiteral("/.murmeli/logs/ptt-2026-12-08.jsonl"), "{}\n");
        write(status + QStringLiteral("/abcd1234-session.json"), "{}");
        write(temp + QStringLiteral("/murmeli-takes-") + uid + QStringLiteral("/take-1.wav"), "RIFF");
        write(temp + QStringLiteral("/murmeli-") + uid + QStringLiteral("/instance.lock"), "");
        // The account's home, whose lock folder a removal from another home takes too, is one of the test's own: the
        // user database the removal asks names it.
        const QString account = scratch.path() + QStringLiteral("/account");
        write(account + QStringLiteral("/.murmeli/run/instance.lock"), "");
        write(scratch.path() + QStringLiteral("/bin/getent"),
            QStringLiteral("#!/bin/bash\n[[ $1 == passwd ]] && echo 'user:x:%1:%2::%3:/bin/bash'\n")
                .arg(uid, QString::number(::getgid()), account)
                .toUtf8());
        ASSERT_TRUE(QFile::setPermissions(
            scratch.path() + QStringLiteral("/bin/getent"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QProcess murmeli;
        QProcessEnvironment environment = environmentFor(home);
        environment.insert(QStringLiteral("PATH"),
            scratch.path() + QStringLiteral("/bin:") + environment.value(QStringLiteral("PATH")));
        if (c.running) {
            ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), scratch.path() + QStringLiteral("/murmeli")));
            murmeli.setProcessEnvironment(environment);
            murmeli.start(scratch.path() + QStringLiteral("/murmeli"), { QStringLiteral("60") });
            ASSERT_TRUE(murmeli.waitForStarted());
        }
        const auto before = snapshotWithModes(scratch.path());
        environment.insert(QStringLiteral("TMPDIR"), temp);
        environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), status);
        QProcess removal;
        removal.setProcessEnvironment(environment);
        removal.setProcessChannelMode(QProcess::MergedChannels);
        removal.start(QStringLiteral("/bin/bash"), { scripts + QStringLiteral("remove-murmeli") });
        ASSERT_TRUE(removal.waitForFinished(60000));
        const QString said = QString::fromUtf8(removal.readAll());
        murmeli.kill();
        murmeli.waitForFinished();
        EXPECT_EQ(removal.exitCode(), c.exitCode) << said.toStdString();
        if (c.running) {
            EXPECT_EQ(snapshotWithModes(scratch.path()), before);
            continue;
        }
        // The uninstalls back the agents' files up once more before taking murmeli's entries out.
        const QStringList kept = test::filesUnder(home).filter(QStringLiteral(".murmeli-backup-"));
        for (const QString& backup : backups) {
            EXPECT_TRUE(kept.contains(backup)) << backup.toStdString();
        }
        QStringList left { QStringLiteral(".claude/settings.json"), QStringLiteral(".codex/hooks.json") };
        left << kept;
        if (c.othersAutostart) {
            left << QStringLiteral(".config/autostart/other.desktop");
        }
        if (c.codexBroken) {
            // Codex's hooks still run and send the secret: their files and the stored secret stay.
            left << test::filesUnder(home).filter(QStringLiteral(".local/share/murmeli/"));
            EXPECT_TRUE(left.contains(QStringLiteral(".local/share/murmeli/hooks/codex/codex-hook")));
        }
        left.sort();
        EXPECT_EQ(
            test::filesUnder(home).join(QLatin1Char('\n')).toStdString(), left.join(QLatin1Char('\n')).toStdString())
            << said.toStdString();
        // The temporary folders go whole, not only what was in them, and so does the account's lock folder.
        EXPECT_FALSE(QFileInfo::exists(status) || QFileInfo::exists(temp + QStringLiteral("/murmeli-takes-") + uid));
        EXPECT_FALSE(QFileInfo::exists(account + QStringLiteral("/.murmeli"))) << said.toStdString();
        EXPECT_EQ(QFileInfo::exists(home + QStringLiteral("/.config/autostart")), c.othersAutostart);
        for (const QString& backup : kept) {
            EXPECT_TRUE(said.contains(home + QLatin1Char('/') + backup)) << said.toStdString();
        }
    }
}
