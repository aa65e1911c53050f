#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "tests/desktop/WindowsOf.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

namespace {

QStringList settingsWindowsOf(qint64 pid)
{
    return murmeli::test::windowsOf(pid, QStringLiteral("^Settings$"));
}

} // namespace

// `murmeli settings` starts murmeli with its settings window open; run again, it hands the request to the running
// murmeli and ends, and no second window or murmeli appears.
TEST(SettingsCommandTest, TheCommandOpensTheWindowOnceAndHandsOverToTheRunningMurmeli)
{
    if (const std::optional<QString> missing = murmeli::test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    // The real murmeli grabs the push-to-talk key on this display: no other test may want it meanwhile.
    const murmeli::test::DesktopLock keys(murmeli::test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(keys.isHeld());
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(
        home.path() + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    // One murmeli runs per user: this one finds its lock apart from any other test's, and the tester's own.
    environment.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), home.filePath(QStringLiteral("instance")));
    // A status folder and any free hook port of its own: the user's murmeli has /tmp/murmeli and 19876.
    environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), home.filePath(QStringLiteral("status")));
    environment.insert(QStringLiteral("MURMELI_PORT"), QStringLiteral("0"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path() + QStringLiteral("/run"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(QStringLiteral(MURMELI_BINARY), { QStringLiteral("settings") });
    ASSERT_TRUE(first.waitForStarted(5000));
    EXPECT_TRUE(murmeli::test::waitUntil([&] { return settingsWindowsOf(first.processId()).size() == 1; }, 20000));

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(MURMELI_BINARY), { QStringLiteral("settings") });
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    // The running murmeli presents its window again: on a loaded desktop the window list may be read while it is
    // being raised, so the count is watched for a second, and a second window at any moment fails.
    qsizetype most = 0;
    murmeli::test::waitUntil(
        [&] {
            most = std::max(most, settingsWindowsOf(first.processId()).size());
            return false;
        },
        1000);
    EXPECT_LE(most, 1);
    EXPECT_TRUE(murmeli::test::waitUntil([&] { return settingsWindowsOf(first.processId()).size() == 1; }, 5000));

    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished(5000);
    }
}

// A user without a runtime folder, whose place for murmeli in the temporary folder another user took first. Where no
// folder of the user's own can be had either, murmeli says why and ends with 1 rather than run unreachable; with its
// folder in the home, `murmeli settings` opens the settings in the first murmeli and starts no second one. Before
// onboarding is finished murmeli takes no hook port, which other tests may hold.
TEST(SettingsCommandTest, WithoutARuntimeFolderASecondStartStillFindsTheFirst)
{
    if (const std::optional<QString> missing = murmeli::test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    const murmeli::test::DesktopLock keys(murmeli::test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(keys.isHeld());
    QTemporaryDir home;
    QTemporaryDir temp;
    const QString taken = temp.filePath(QStringLiteral("murmeli-%1").arg(::getuid()));
    // Only root can hand a folder to another user; elsewhere a link, refused alike.
    ASSERT_TRUE(::getuid() == 0
            ? QDir().mkdir(taken) && ::chown(QFile::encodeName(taken).constData(), 65534, 65534) == 0
            : QFile::link(temp.path(), taken));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    // One murmeli runs per user: this one finds its lock apart from any other test's, and the tester's own.
    environment.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), home.filePath(QStringLiteral("instance")));
    // A status folder and any free hook port of its own: the user's murmeli has /tmp/murmeli and 19876.
    environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), home.filePath(QStringLiteral("status")));
    environment.insert(QStringLiteral("MURMELI_PORT"), QStringLiteral("0"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess first;
    QProcess second;
    first.setProcessEnvironment(environment);
    second.setProcessEnvironment(environment);
    const auto stop = qScopeGuard([&] {
        for (QProcess* murmeli : { &second, &first }) {
            murmeli->kill();
            murmeli->waitForFinished(5000);
        }
    });

    QFile blocker(home.filePath(QStringLiteral(".murmeli")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    second.start(QStringLiteral(MURMELI_BINARY), {});
    ASSERT_TRUE(second.waitForFinished(10000)) << "murmeli started without a way to be found";
    const QString refused = QString::fromLocal8Bit(second.readAllStandardError());
    EXPECT_EQ(second.exitCode(), 1) << refused.toStdString();
    EXPECT_TRUE(refused.contains(blocker.fileName()) && refused.contains(taken)) << refused.toStdString();

    ASSERT_TRUE(blocker.remove());
    first.start(QStringLiteral(MURMELI_BINARY), {});
    const QString folder = home.filePath(QStringLiteral(".murmeli/run"));
    ASSERT_TRUE(
        murmeli::test::waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/control")); }, 20000));
    EXPECT_EQ(int(QFileInfo(folder).permissions()) & 0x0077, 0) << "the folder is the user's alone";
    second.start(QStringLiteral(MURMELI_BINARY), { QStringLiteral("settings") });
    ASSERT_TRUE(second.waitForFinished(10000)) << "a second murmeli started";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(murmeli::test::waitUntil([&] { return settingsWindowsOf(first.processId()).size() == 1; }, 20000));
    EXPECT_EQ(first.state(), QProcess::Running);
}
