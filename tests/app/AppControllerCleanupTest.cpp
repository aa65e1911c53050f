#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <QCoroTask>

#include "main/app/AppController.h"
#include "main/common/OneShot.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

void statusFile(const QString& path, const QDateTime& modified, const QByteArray& content = "{}")
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
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
    // Judged off the main thread: the folders the files name may not answer.
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(dir + QStringLiteral("/dead0001-status.json")); }));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("/born0002-status.json")));
    controller.sessions().syncSessions();
    ASSERT_EQ(test::ControllerProbe::sessionRegistry(controller).sessions().size(), 1u);
    EXPECT_EQ(
        test::ControllerProbe::sessionRegistry(controller).sessions().front().sid8.text(), QStringLiteral("born0002"));
}

// A home folder with projects below it and an agent in the home folder itself, as when one is started there for other
// work: it keeps no session of the projects alive, only the agents in their own projects do.
TEST(AppControllerCleanupTest, AnAgentKeepsOnlyTheSessionsOfItsOwnProjectAlive)
{
    QTemporaryDir home;
    const struct {
        const char* key;
        const char* current; // below the home folder
        const char* project;
        bool agentInProject; // else it was killed
    } sessions[] = {
        { "dead0001", "one", "one", false },
        { "dead0002", "two/src", "two", false },
        { "deep0003", "three/src/lib", "three", true }, // its shell tool went into a subfolder
        { "live0004", "four", "four", true },
    };
    // Stand-ins for the agents: a program named as Claude Code's, each working in its folder.
    const QString agent = home.filePath("bin/claude");
    ASSERT_TRUE(QDir().mkpath(home.filePath("bin")) && QFile::link("/bin/sleep", agent));
    std::vector<std::unique_ptr<QProcess>> agents;
    const auto startAgent = [&](const QString& folder) {
        agents.push_back(std::make_unique<QProcess>());
        agents.back()->setWorkingDirectory(folder);
        agents.back()->start(agent, { "600" });
        EXPECT_TRUE(agents.back()->waitForStarted());
    };
    startAgent(home.path());
    auto dependencies = test::controllerDependencies(
        home, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
    dependencies.processTable = [] { return hooks::ProcessTable::readAsync(); };
    const QString dir = dependencies.statusDirectory;
    ASSERT_TRUE(hooks::StatusDirectory(dir).prepare());
    QStringList kept;
    const QDateTime written = QDateTime::currentDateTimeUtc().addSecs(-120);
    for (const auto& s : sessions) {
        const QString current = home.filePath(s.current);
        ASSERT_TRUE(QDir().mkpath(current));
        if (s.agentInProject) {
            startAgent(home.filePath(s.project));
            kept << s.key;
        }
        const QJsonObject workspace { { "current_dir", current }, { "project_dir", home.filePath(s.project) } };
        statusFile(dir + u'/' + s.key + "-status.json", written,
            QJsonDocument(QJsonObject { { "workspace", workspace } }).toJson());
    }

    app::AppController controller(std::move(dependencies));
    controller.startBackend(QString());
    const auto listed = [&] {
        controller.sessions().syncSessions();
        QStringList keys;
        for (const notch::SessionRow& row : controller.vm().sessions()) {
            keys << row.sid;
        }
        return keys;
    };
    EXPECT_TRUE(test::waitUntil([&] { return listed() == kept; }, 10000)) << listed().join(u' ').toStdString();
    for (const auto& process : agents) {
        process->kill();
        process->waitForFinished();
    }
}
