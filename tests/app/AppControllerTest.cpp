#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

struct LogLine {
    QString message;
    common::LogColor color;
};

bool hasLine(const QList<LogLine>& lines, const QString& message)
{
    return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.message == message; });
}

} // namespace

TEST(AppControllerTest, BackendServesHookEventsWithTheStoredSecret)
{
    auto secrets = std::make_shared<platform::FakeSecretStore>();
    secrets->save(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), "tok");
    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };

    controller.startBackend(QStringLiteral("/usr/bin/murmeli"));
    ASSERT_TRUE(test::ControllerProbe::hookServer(controller).isRunning());
    const quint16 port = test::ControllerProbe::hookServer(controller).port();
    EXPECT_TRUE(test::ControllerProbe::hookServer(controller).authEnforced());

    const QByteArray reply = test::postHook(
        port, QStringLiteral("/hook/Stop"), R"({"session_id":"abcdef123456"})", "Authorization: Bearer tok\r\n");
    EXPECT_EQ(reply, test::expectedReply(200, "OK", "{\"ok\":true}"));
    ASSERT_TRUE(test::waitUntil([&] { return hasLine(lines, QStringLiteral("Hook: Stop")); }));
    EXPECT_TRUE(hasLine(lines, QStringLiteral("Sessions: 1 active [abcdef12]")));
    ASSERT_EQ(test::ControllerProbe::sessionRegistry(controller).sessions().size(), 1u);
    EXPECT_TRUE(test::ControllerProbe::sessionRegistry(controller).sessions().front().inMemoryOnly);
    EXPECT_TRUE(hasLine(lines, QStringLiteral("HookServer: listening on 127.0.0.1:%1 (auth enforced)").arg(port)));

    // A second start changes nothing.
    controller.startBackend(QStringLiteral("/usr/bin/murmeli"));
    EXPECT_EQ(test::ControllerProbe::hookServer(controller).port(), port);
}

TEST(AppControllerTest, ListenerFailureIsLoggedInRed)
{
    auto secrets = std::make_shared<platform::FakeSecretStore>();
    QTemporaryDir root;
    app::AppController first(test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
    first.startBackend(QString());
    ASSERT_TRUE(test::ControllerProbe::hookServer(first).isRunning());

    app::AppController second(test::controllerDependencies(
        root, secrets, std::make_shared<common::SystemClock>(), test::ControllerProbe::hookServer(first).port()));
    QList<LogLine> lines;
    second.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    second.startBackend(QString());
    const auto failed = [&] {
        return std::find_if(lines.begin(), lines.end(),
            [](const LogLine& l) { return l.message.startsWith(QStringLiteral("HookServer: failed")); });
    };
    ASSERT_TRUE(test::waitUntil([&] { return failed() != lines.end(); }));
    EXPECT_EQ(failed()->color, common::LogColor::Red);
}

TEST(AppControllerTest, UnreadableDefaultsFileIsLoggedOnceAtStart)
{
    QTemporaryDir root;
    const QString file = root.path() + QStringLiteral("/defaults.json");
    {
        QFile corrupt(file);
        ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
        corrupt.write("{ not json");
    }
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());

    const auto isDefaultsLine = [](const LogLine& l) { return l.message.startsWith("[diag] startup: defaults"); };
    ASSERT_EQ(std::count_if(lines.begin(), lines.end(), isDefaultsLine), 1);
    const LogLine& line = *std::find_if(lines.begin(), lines.end(), isDefaultsLine);
    EXPECT_TRUE(line.message.contains(file + QStringLiteral(" is not valid JSON"))) << line.message.toStdString();
    EXPECT_TRUE(line.message.contains(file + QStringLiteral(".corrupt")));
    EXPECT_EQ(line.color, common::LogColor::Orange);
}

TEST(AppControllerTest, StatusDirectoryOthersMayWriteToIsSetBackAndLoggedOnce)
{
    QTemporaryDir root;
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
    const QByteArray dir = QFile::encodeName(dependencies.statusDirectory);
    ASSERT_TRUE(QDir().mkpath(dependencies.statusDirectory));
    ASSERT_EQ(::chmod(dir.constData(), 0777), 0);
    app::AppController controller(std::move(dependencies));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());
    controller.sessions().syncSessions();

    const auto isRepairLine = [](const LogLine& l) { return l.message.contains("set back to 0700"); };
    ASSERT_EQ(std::count_if(lines.begin(), lines.end(), isRepairLine), 1);
    EXPECT_EQ(std::find_if(lines.begin(), lines.end(), isRepairLine)->color, common::LogColor::Orange);
    struct stat info { };
    ASSERT_EQ(::lstat(dir.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(AppControllerTest, StatusIsNotReadThroughARefusedDirectory)
{
    QTemporaryDir root;
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    for (const char* name : { "/status.json", "/abcd1234-status.json" }) {
        QFile status(elsewhere + QLatin1String(name));
        ASSERT_TRUE(status.open(QIODevice::WriteOnly));
        status.write(R"({"session_id":"abcd1234-x","model":{"display_name":"M"}})");
    }
    ASSERT_TRUE(QFile::link(elsewhere, dependencies.statusDirectory));
    app::AppController controller(std::move(dependencies));
    QList<LogLine> lines;
    controller.onLog = [&](const QString& message, common::LogColor color) { lines.append({ message, color }); };
    controller.startBackend(QString());

    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const LogLine& l) {
        return l.message.contains("status directory refused") && l.color == common::LogColor::Red;
    }));
    EXPECT_FALSE(controller.sessions().syncSessions());
    EXPECT_TRUE(test::ControllerProbe::sessionRegistry(controller).sessions().empty());
}
