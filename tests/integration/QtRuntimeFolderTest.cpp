// Without a runtime folder (a start from ssh, `su -` or cron), Qt makes a "runtime-<user>" folder of its own in the
// temporary folder as a GUI program starts, and again whenever it opens a folder or a link.

#include <gtest/gtest.h>

#include <optional>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

#include "tests/support/OwnMurmeli.h"
#include "tests/support/Wait.h"

// The real murmeli, started without XDG_RUNTIME_DIR and ended, leaves no such folder behind; one that another program
// made before it stays.
TEST(QtRuntimeFolderTest, AStartWithoutARuntimeFolderLeavesNoneOfQtsBehind)
{
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    for (const bool madeBefore : { false, true }) {
        SCOPED_TRACE(madeBefore ? "another program made it before" : "none was there");
        QTemporaryDir scratch;
        // Its temporary folder is scratch's "tmp".
        std::optional<QProcessEnvironment> environment = murmeli::test::ownMurmeliEnvironment(scratch.path());
        const QFileDevice::Permissions own = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        ASSERT_TRUE(environment);
        environment->remove(QStringLiteral("XDG_RUNTIME_DIR"));
        const QString qtRuntime = scratch.filePath(QStringLiteral("tmp/runtime-")) + QFile::decodeName(user->pw_name);
        if (madeBefore) {
            ASSERT_TRUE(QDir().mkdir(qtRuntime, own));
        }

        QProcess murmeli;
        murmeli.setProcessEnvironment(*environment);
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
