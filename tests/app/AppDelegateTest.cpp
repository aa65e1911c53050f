#include "main/app/AppDelegate.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include "main/app/AppController.h"
#include "main/common/Log.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/FullPipe.h"
#include "tests/support/HttpClient.h"

using namespace murmeli;

TEST(AppDelegateTest, LogIntoAStuckStderrStillFailsAHeldRequestOpen)
{
    QTemporaryDir root;
    app::AppController controller { test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()) };
    // Standard error becomes a full pipe that nobody reads. A main thread stuck writing into it never comes back:
    // the alarm ends the run instead of the suite's time limit.
    test::FullPipe pipe;
    const int savedStderr = ::dup(STDERR_FILENO);
    ::dup2(pipe.writeEnd(), STDERR_FILENO);
    ::alarm(90);

    app::AppDelegate delegate(controller, QString());
    delegate.applicationDidFinishLaunching();
    const quint16 port = controller.hookServer().port();
    // Each event with a refused session key is one log line.
    for (int i = 0; i < 200; ++i) {
        test::postHook(port, QStringLiteral("/hook/Notification"), R"({"session_id":"bad key"})");
    }
    const QByteArray body = R"({"session_id":"0123456789abcdef","tool_name":"Bash","tool_input":{"command":"ls"}})";
    test::HttpClient held(port);
    held.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body);
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(held.readUntilClosed(40000), test::expectedReply(200, "OK", "{}"));
    EXPECT_GE(waited.elapsed(), 24000);

    ::alarm(0);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    pipe.readUntil([] { return common::flushStderr(10); });
}
