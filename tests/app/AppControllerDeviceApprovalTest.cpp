// Permission requests answered on the device as the agents meet them: murmeli's hook server and its device link
// over BlueZ (simulated on D-Bus), agents that post over HTTP and read their replies, and a device that answers with
// the decision lines it sends.

#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/platform/ble/SimulatedBluez.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

class AppControllerDeviceApprovalTest : public ::testing::Test {
protected:
    // BlueZ's round trips over D-Bus: connecting, services, each write and notification.
    static constexpr int deviceTimeoutMs = 20000;

    // Qt connects to the system bus once per process: the simulated BlueZ comes before anything touches it.
    static void SetUpTestSuite() { s_bluez = test::SimulatedBluez::shared(&s_whyNot); }

    void SetUp() override
    {
#if !MURMELI_HAVE_QT_BLUETOOTH
        s_whyNot = QStringLiteral("murmeli was built without Qt Bluetooth");
#endif
        if (!s_bluez || !s_whyNot.isEmpty()) {
            if (qEnvironmentVariableIsSet("MURMELI_CI")) {
                FAIL() << "under CI the simulated device must run: " << s_whyNot.toStdString();
            }
            GTEST_SKIP() << s_whyNot.toStdString();
        }
        m_adapter = s_bluez->addAdapter(QStringLiteral("hci0")).has_value();
        ASSERT_TRUE(m_adapter);
        const auto added = s_bluez->addDevice(
            QStringLiteral("hci0"), QStringLiteral("murmeli-7F"), QStringLiteral("AA:BB:CC:DD:EE:07"), 185);
        ASSERT_TRUE(added);
        m_device = *added;

        auto dependencies = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
        dependencies.defaults->setValue(QLatin1String(device::BLEBridge::enabledUDKey), true);
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->startBackend(QString());
        ASSERT_TRUE(waitUntil([&] { return controller->deviceLink().isConnected(); }, deviceTimeoutMs));
    }

    void TearDown() override
    {
        controller.reset();
        if (m_adapter) {
            EXPECT_TRUE(s_bluez->removeAdapter(QStringLiteral("hci0")));
        }
    }

    // The agent's permission hook posts its request and keeps the connection open for the answer.
    std::unique_ptr<test::HttpClient> ask(const QString& sessionId, const QString& toolUseId, const QString& command)
    {
        const QByteArray body
            = QJsonDocument(QJsonObject { { "session_id", sessionId }, { "tool_use_id", toolUseId },
                                { "tool_name", "Bash" }, { "tool_input", QJsonObject { { "command", command } } } })
                  .toJson(QJsonDocument::Compact);
        auto agent = std::make_unique<test::HttpClient>(test::ControllerProbe::hookServer(*controller).port());
        agent->write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body);
        return agent;
    }

    // The id the device shows in its prompt for this command, once the prompt has reached it.
    QString shownIdFor(const QString& command)
    {
        QString id;
        waitUntil(
            [&] {
                const auto written = s_bluez->written(*m_device);
                for (const QString& line : QString::fromUtf8(written ? written->bytes : QByteArray()).split('\n')) {
                    const QStringList fields = line.mid(2).split(QLatin1Char(','));
                    if (line.startsWith(QLatin1String("Q:")) && fields.value(2) == command) {
                        id = fields.first();
                    }
                }
                return !id.isEmpty();
            },
            deviceTimeoutMs);
        return id;
    }

    void answer(const QString& line)
    {
        ASSERT_TRUE(s_bluez->notify(*m_device, (line + '\n').toUtf8()));
    }

    static std::string reply(const char* behavior)
    {
        return test::expectedReply(200, "OK",
            QByteArray(R"({"hookSpecificOutput":{"decision":{"behavior":")") + behavior
                + R"("},"hookEventName":"PermissionRequest"}})")
            .toStdString();
    }

    static test::SimulatedBluez* s_bluez;
    static QString s_whyNot;
    bool m_adapter = false;
    std::optional<test::SimulatedBluez::Device> m_device;
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    QTemporaryDir root;
    std::unique_ptr<app::AppController> controller;
};

test::SimulatedBluez* AppControllerDeviceApprovalTest::s_bluez = nullptr;
QString AppControllerDeviceApprovalTest::s_whyNot;

} // namespace

// Agents that number their own tool calls ask with the same short id in every session. The device answers the first
// session's request, then the same answer comes again while another session's request waits: it must not decide a
// request the device never showed under that id.
TEST_F(AppControllerDeviceApprovalTest, ARepeatedAnswerDoesNotDecideAnotherSessionsRequestWithTheSameId)
{
    struct Case {
        const char* name;
        QString firstId;
        QString secondId;
        QString firstCommand;
        QString secondCommand;
    };
    const std::vector<Case> cases {
        { "the same id", QStringLiteral("call_1"), QStringLiteral("call_1"), QStringLiteral("ls"),
            QStringLiteral("rm -rf ~/work") },
        { "ids that show alike", QStringLiteral("call,2"), QStringLiteral("call 2"), QStringLiteral("cat notes"),
            QStringLiteral("git push --force") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto first = ask(QStringLiteral("aaaa1111"), c.firstId, c.firstCommand);
        const QString firstShown = shownIdFor(c.firstCommand);
        ASSERT_FALSE(firstShown.isEmpty());
        answer(QStringLiteral("R:") + firstShown + QStringLiteral(",allow"));
        EXPECT_EQ(first->readUntilClosed().toStdString(), reply("allow"));

        auto second = ask(QStringLiteral("bbbb2222"), c.secondId, c.secondCommand);
        const QString secondShown = shownIdFor(c.secondCommand);
        ASSERT_FALSE(secondShown.isEmpty());
        EXPECT_NE(secondShown, firstShown);
        // The device repeats its first answer, then answers what it shows now; lines are taken in order.
        answer(QStringLiteral("R:") + firstShown + QStringLiteral(",allow"));
        answer(QStringLiteral("R:") + secondShown + QStringLiteral(",deny"));
        EXPECT_EQ(second->readUntilClosed().toStdString(), reply("deny"));
        EXPECT_FALSE(test::ControllerProbe::pendingTable(*controller).hasActive());
    }
}

// An agent that gives up on its hook may send the same request again while the first is still held: the retry is
// let through with the neutral reply, and the device keeps showing the first, whose answer still reaches the agent.
TEST_F(AppControllerDeviceApprovalTest, ARetriedRequestLeavesTheHeldOnesPromptOnTheDevice)
{
    auto first = ask(QStringLiteral("cccc3333"), QStringLiteral("toolu_retried"), QStringLiteral("make deploy"));
    const QString shown = shownIdFor(QStringLiteral("make deploy"));
    ASSERT_FALSE(shown.isEmpty());
    auto retry = ask(QStringLiteral("cccc3333"), QStringLiteral("toolu_retried"), QStringLiteral("make deploy"));
    EXPECT_EQ(retry->readUntilClosed().toStdString(), test::expectedReply(200, "OK", "{}").toStdString());

    const auto written = s_bluez->written(*m_device);
    const QStringList sent = QString::fromUtf8(written ? written->bytes : QByteArray()).split('\n');
    EXPECT_FALSE(sent.contains(QStringLiteral("Q:") + shown + QStringLiteral(",cancel")))
        << sent.join(' ').toStdString();

    answer(QStringLiteral("R:") + shown + QStringLiteral(",allow"));
    EXPECT_EQ(first->readUntilClosed(deviceTimeoutMs).toStdString(), reply("allow"));
}
