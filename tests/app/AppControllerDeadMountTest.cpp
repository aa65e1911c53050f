// murmeli with its status folder on a mount that stops answering, as a network mount does when its server goes away.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpClient.h"
#include "tests/support/StallingMount.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

QByteArray hookBody(const QString& id, const QString& folder, QJsonObject body = {})
{
    body.insert("session_id", id);
    body.insert("cwd", folder);
    return QJsonDocument(body).toJson();
}

// While the folder does not answer, another session's request reaches the table and its card's row at once; the
// folder costs only its own files, and the log says so once. Once it answers, the sessions' files are written again.
TEST(AppControllerDeadMountTest, AnotherSessionsRequestReachesThePanelWhileTheStatusFolderDoesNotAnswer)
{
    QTemporaryDir root;
    test::StallingMount mount(root.filePath("backing"), root.filePath("mount"));
    if (!mount.mounted()) {
        if (qEnvironmentVariableIsSet("MURMELI_CI")) {
            FAIL() << "under CI the dead mount must be testable: " << mount.why().toStdString();
        }
        GTEST_SKIP() << mount.why().toStdString();
    }
    auto dependencies = test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<test::FakeClock>());
    dependencies.statusDirectory = mount.path() + "/murmeli";
    app::AppController controller(std::move(dependencies));
    QStringList lines;
    controller.onLog = [&](const QString& line, common::LogColor) { lines << line; };
    controller.startBackend(QString());
    const quint16 port = test::ControllerProbe::hookServer(controller).port();
    const QString folder = root.filePath("project");

    test::postHook(port, "/hook/SessionStart", hookBody("aaaaaaaa-1", folder));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(mount.path() + "/murmeli/aaaaaaaa-session.json"); }));

    // The cap ends the stall of a murmeli that would wait for good, so that the test measures how long it waited.
    ASSERT_TRUE(mount.stall(15));
    QElapsedTimer took;
    took.start();
    // The first session's files are due to be written as the second session asks.
    test::postHook(port, "/hook/PostToolUse", hookBody("aaaaaaaa-1", folder, { { "tool_name", "Bash" } }));
    test::HttpClient asking(port);
    const QByteArray request = hookBody("bbbbbbbb-2", folder,
        { { "tool_name", "Bash" }, { "tool_input", QJsonObject { { "command", "rm -rf build" } } } });
    asking.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(request.size())
        + "\r\n\r\n" + request);
    hooks::PendingRequestTable& table = test::ControllerProbe::pendingTable(controller);
    EXPECT_TRUE(waitUntil([&] { return table.hasActive(); }, 20000));
    EXPECT_LT(took.elapsed(), 3000) << "the request reached the table " << took.elapsed() << " ms after it was sent";
    EXPECT_TRUE(mount.waitedOn("/murmeli", 2000)) << "murmeli never reached the folder that does not answer";

    controller.sessions().syncSessions();
    QStringList listed;
    for (const notch::SessionRow& row : controller.vm().sessions()) {
        listed << row.sid;
    }
    EXPECT_TRUE(listed.contains("bbbbbbbb")) << listed.join(", ").toStdString();
    EXPECT_EQ(lines.filter("does not answer; the list stays").size(), 1) << lines.join("\n").toStdString();
    EXPECT_LT(took.elapsed(), 3000) << "a sync took the main thread until " << took.elapsed() << " ms";

    ASSERT_TRUE(mount.answer());
    EXPECT_TRUE(waitUntil([&] {
        test::postHook(port, "/hook/PostToolUse", hookBody("bbbbbbbb-2", folder, { { "tool_name", "Bash" } }));
        return QFile::exists(mount.path() + "/murmeli/bbbbbbbb-session.json");
    }));
    controller.sessions().syncSessions();
    EXPECT_EQ(lines.filter("answers again").size(), 1) << lines.join("\n").toStdString();
    table.resolve(table.activeRequest()->toolUseId, hooks::ApprovalDecision::failOpen());
    EXPECT_FALSE(asking.readUntilClosed().isEmpty());
}

} // namespace
