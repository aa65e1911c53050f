#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <QCoroTask>

#include "main/app/AppController.h"
#include "main/common/OneShot.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"

using namespace murmeli;

namespace {

void statusFile(const QString& path, const QDateTime& modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{}");
    file.flush();
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

TEST(AppControllerCleanupTest, StaleSessionsGoOnceTheProcessTableArrivesWithoutHoldingUpTheStart)
{
    QTemporaryDir root;
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
    common::OneShot<std::optional<hooks::ProcessTable>> table;
    int asked = 0;
    dependencies.processTable = [table, &asked]() -> QCoro::Task<std::optional<hooks::ProcessTable>> {
        ++asked;
        co_return co_await table;
    };
    const QString dir = dependencies.statusDirectory;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ASSERT_TRUE(hooks::StatusDirectory(dir).prepare());
    statusFile(dir + QStringLiteral("/dead0001-status.json"), now.addSecs(-120));
    statusFile(dir + QStringLiteral("/born0002-status.json"), now.addSecs(-120));
    app::AppController controller(std::move(dependencies));

    controller.startBackend(QString());
    EXPECT_EQ(asked, 1);
    // The start went on while ps runs: the earlier run's sessions are listed for now.
    ASSERT_EQ(test::ControllerProbe::sessionRegistry(controller).sessions().size(), 2u);

    // An agent that started after the listing was taken is missing from it, yet its session is no stale one.
    statusFile(dir + QStringLiteral("/born0002-status.json"), now);
    table.fulfil(hooks::ProcessTable::parse(QStringLiteral("1 0 ? /sbin/init\n"), now.addSecs(-60)));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/dead0001-status.json")));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("/born0002-status.json")));
    controller.sessions().syncSessions();
    ASSERT_EQ(test::ControllerProbe::sessionRegistry(controller).sessions().size(), 1u);
    EXPECT_EQ(
        test::ControllerProbe::sessionRegistry(controller).sessions().front().sid8.text(), QStringLiteral("born0002"));
}
