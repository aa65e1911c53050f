// Without a runtime folder (a start from ssh, `su -` or cron), Qt makes a "runtime-<user>" folder of its own in the
// temporary folder as a GUI program starts, and again whenever it opens a folder or a link.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

#include "tests/support/Wait.h"

// The real murmeli, started without XDG_RUNTIME_DIR and ended, leaves no such folder behind; one that another program
// made before it stays. The home has not been through onboarding, so murmeli waits there and takes no port.
TEST(QtRuntimeFolderTest, AStartWithoutARuntimeFolderLeavesNoneOfQtsBehind)
{
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    for (const bool madeBefore : { false, true }) {
        SCOPED_TRACE(madeBefore ? "another program made it before" : "none was there");
        QTemporaryDir scratch;
        for (const char* folder : { "home", "tmp", "instance" }) {
            ASSERT_TRUE(QDir().mkdir(
                scratch.filePath(QLatin1String(folder)), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const QString qtRuntime = scratch.filePath(QStringLiteral("tmp/runtime-")) + QFile::decodeName(user->pw_name);
        if (madeBefore) {
            ASSERT_TRUE(QDir().mkdir(qtRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), scratch.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("TMPDIR"), scratch.filePath(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), scratch.filePath(QStringLiteral("instance")));
        for (const char* name : { "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME" }) {
            environment.remove(QLatin1String(name));
        }
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));

        QProcess murmeli;
        murmeli.setProcessEnvironment(environment);
        murmeli.start(QStringLiteral(MURMELI_BINARY));
        QByteArray log;
        const bool ready = murmeli::test::waitUntil(
            [&] { return (log += murmeli.readAllStandardError()).contains("murmeli ready"); }, 30000);
        murmeli.terminate();
        const bool ended = murmeli.waitForFinished(15000);
        if (!ended) {
            murmeli.kill();
            murmeli.waitForFinished(5000);
        }
        ASSERT_TRUE(ready) << log.toStdString();
        ASSERT_TRUE(ended) << "murmeli did not end on SIGTERM";
        EXPECT_EQ(QFileInfo::exists(qtRuntime), madeBefore) << log.toStdString();
    }
}
