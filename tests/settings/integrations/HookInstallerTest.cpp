#include "main/settings/integrations/HookInstaller.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

class HookInstallerTest : public ::testing::Test {
protected:
    HookInstallerTest()
    {
        QDir().mkpath(root.path() + QStringLiteral("/src/build/main/app"));
        installer.onInstalled = [this] { ++installed; };
        installer.onFailed = [this](const QString& message) { failures << message; };
    }

    void script(const QByteArray& body)
    {
        QDir().mkpath(root.path() + QStringLiteral("/src/Resources/scripts"));
        QFile file(root.path() + QStringLiteral("/src/Resources/scripts/install-hooks.sh"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(body);
    }

    bool settled() const { return installed + failures.size() > 0; }

    QTemporaryDir root;
    settings::HookInstaller installer { root.path() + QStringLiteral("/src/build/main/app/murmeli") };
    int installed = 0;
    QStringList failures;
};

} // namespace

TEST_F(HookInstallerTest, MissingInstallerIsReportedWithWhereItWasLookedFor)
{
    installer.install();
    EXPECT_FALSE(settled()); // never from inside the call itself
    ASSERT_TRUE(test::waitUntil([&] { return settled(); }));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures.first().startsWith(QStringLiteral("install-hooks.sh not found at:\n")));
    EXPECT_TRUE(failures.first().endsWith(QStringLiteral("/Resources/scripts/install-hooks.sh")));
    EXPECT_EQ(installed, 0);
}

TEST_F(HookInstallerTest, ExitStatusDecidesWhichCallbackRuns)
{
    script("echo \"bin=$MURMELI_BIN\" >&2; exit 3\n");
    installer.install();
    ASSERT_TRUE(test::waitUntil([&] { return settled(); }, 10000));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.first(), QStringLiteral("bin=") + root.path() + QStringLiteral("/src/build/main/app/murmeli"));

    failures.clear();
    script("exit 1\n");
    installer.install();
    ASSERT_TRUE(test::waitUntil([&] { return settled(); }, 10000));
    EXPECT_EQ(failures, QStringList { QStringLiteral("install-hooks.sh exited with error.") });

    failures.clear();
    script("echo installed\n");
    installer.install();
    ASSERT_TRUE(test::waitUntil([&] { return settled(); }, 10000));
    EXPECT_EQ(installed, 1);
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(HookInstallerTest, AnAwaitedInstallAnswersItsOwnCallerOnly)
{
    script("printf 'ok \\377 no\\n' >&2; exit 2\n");
    const auto failed = test::keepResult(installer.installAndWait());
    ASSERT_TRUE(test::waitUntil([&] { return failed->has_value(); }, 10000));
    EXPECT_EQ(**failed, std::optional<QString>(QStringLiteral("ok \ufffd no")));

    script("exit 0\n");
    const auto succeeded = test::keepResult(installer.installAndWait());
    ASSERT_TRUE(test::waitUntil([&] { return succeeded->has_value(); }, 10000));
    EXPECT_EQ(**succeeded, std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_FALSE(settled());
}
