#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QProcess>
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
