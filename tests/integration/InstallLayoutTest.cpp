#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "main/common/ProcessRunner.h"
#include "main/common/ResourcePaths.h"
#include "main/settings/integrations/CLIAdapter.h"
#include "tests/support/Files.h"

using namespace murmeli;

namespace {

common::ProcessResult run(const QString& program, const QStringList& arguments, QProcessEnvironment environment = {})
{
    common::ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    request.timeout = std::chrono::seconds(60);
    request.environment = std::move(environment);
    request.mergeChannels = true;
    return common::runProcessBlocking(request);
}

} // namespace

// cmake --install lays murmeli out under a prefix where the installed executable finds its scripts, fonts and cue
// sounds, and the installed installer finds the installed executable.
TEST(InstallLayoutTest, TheInstalledExecutableFindsItsScriptsFontsAndSounds)
{
    QTemporaryDir scratch;
    const QString prefix = QDir(scratch.path()).canonicalPath() + QStringLiteral("/prefix");
    const common::ProcessResult installed = run(QStringLiteral(MURMELI_CMAKE_COMMAND),
        { QStringLiteral("--install"), QStringLiteral(MURMELI_BUILD_DIR), QStringLiteral("--prefix"), prefix });
    ASSERT_TRUE(installed.succeeded()) << installed.standardOutput.toStdString();

    const QString executable = prefix + QStringLiteral("/bin/murmeli");
    EXPECT_TRUE(QFileInfo(executable).isExecutable());
    const QStringList files = test::filesUnder(prefix + QStringLiteral("/share"));
    for (const char* expected :
        { "applications/murmeli.desktop", "murmeli/scripts/install-hooks.sh", "murmeli/scripts/murmeli-hook-lib.sh",
            "murmeli/scripts/permission-hook", "murmeli/scripts/install-codex-hook",
            "murmeli/scripts/openclaw-hook/handler.js", "murmeli/fonts/Fraunces-OFL.txt",
            "murmeli/fonts/geist-mono-latin-400-normal.woff2", "murmeli/fonts/instrument-sans-latin-500-normal.woff2",
            "murmeli/HookSounds/permission_request.wav", "murmeli/HookSounds/notification.wav" }) {
        EXPECT_TRUE(files.contains(QLatin1String(expected))) << expected;
    }
    EXPECT_EQ(files.filter(QStringLiteral(".woff2")).size(), 12);
    EXPECT_EQ(files.filter(QStringLiteral(".wav")).size(), 7);
    EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/share/murmeli/scripts/permission-hook")).isExecutable());
    EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/share/murmeli/scripts/agent-hook")).isExecutable());
    const QString desktopEntry
        = QString::fromUtf8(test::readFile(prefix + QStringLiteral("/share/applications/murmeli.desktop")));
    EXPECT_TRUE(desktopEntry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(desktopEntry.contains(QStringLiteral("\nExec=murmeli\n")));

    EXPECT_EQ(common::findResourceFolder(executable, common::ResourceFolder::Fonts),
        prefix + QStringLiteral("/share/murmeli/fonts"));
    EXPECT_EQ(common::findResourceFolder(executable, common::ResourceFolder::Sounds),
        prefix + QStringLiteral("/share/murmeli/HookSounds"));
    EXPECT_EQ(settings::CLIAdapter::allCases().front().installScriptPath(executable),
        prefix + QStringLiteral("/share/murmeli/scripts/install-hooks.sh"));

    // The installed installer, told nothing about where murmeli is and with no murmeli on PATH, finds the one
    // beside it and connects a fresh home.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = scratch.path() + QStringLiteral("/home");
    QDir().mkpath(home + QStringLiteral("/.claude"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("MURMELI_BIN"));
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
    const common::ProcessResult hooked = run(QStringLiteral("/bin/bash"),
        { prefix + QStringLiteral("/share/murmeli/scripts/install-hooks.sh") }, environment);
    EXPECT_TRUE(hooked.succeeded()) << hooked.standardOutput.toStdString();
    EXPECT_TRUE(QFileInfo::exists(home + QStringLiteral("/.local/share/murmeli/hooks/permission-hook")));
    EXPECT_TRUE(test::readFile(home + QStringLiteral("/.claude/settings.json")).contains("permission-hook"));
}
