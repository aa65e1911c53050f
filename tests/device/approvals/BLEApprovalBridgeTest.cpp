#include "main/device/approvals/BLEApprovalBridge.h"

#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonObject>
#include <QStringList>

#include "main/device/approvals/ShortIdTable.h"
#include "main/hooks/approvals/ApprovalRoad.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "tests/device/support/FakeDevice.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"

using namespace murmeli;
using device::BLEApprovalBridge;
using device::ShortIdTable;
using hooks::ApprovalDecision;
using hooks::PermissionScope;

namespace {

// The gateway's own ids when the agent sends none: eight characters of the session, the tool, a UUID. Ids of one
// session and tool agree in their first fourteen characters.
QString gatewayId(const char* uuid)
{
    return QStringLiteral("0123abcd:Bash:") + QString::fromLatin1(uuid);
}

class BLEApprovalBridgeTest : public ::testing::Test {
protected:
    BLEApprovalBridgeTest()
    {
        table.onActivate
            = [this](hooks::ApprovalRequest request) { return bridge->requestApproval(std::move(request)); };
        table.onWarning = [this](hooks::ApprovalRequest request) { return bridge->signalWarning(std::move(request)); };
    }

    std::shared_ptr<std::optional<ApprovalDecision>> hold(const QString& id, const QString& preview)
    {
        hooks::ApprovalRequest request;
        request.toolUseId = id;
        request.toolName = QStringLiteral("Bash");
        request.commandPreview = preview;
        return test::keepResult(table.enqueue(request));
    }

    // The id the device was shown in the prompt line of this preview.
    QString shownId(const QString& preview)
    {
        for (const QString& line : sent) {
            if (line.endsWith(QLatin1Char(',') + preview)) {
                return line.mid(2).section(QLatin1Char(','), 0, 0);
            }
        }
        return {};
    }

    test::FakeClock clock;
    hooks::PendingRequestTable table { clock };
    QStringList sent;
    QStringList resolved;
    std::shared_ptr<BLEApprovalBridge> bridge
        = std::make_shared<BLEApprovalBridge>([this](const QString& line) { sent << line; },
            [this](const QString& id, const ApprovalDecision& decision) {
                resolved << id;
                const bool waiting = table.isHeld(id);
                table.resolve(id, decision);
                return waiting;
            });
};

} // namespace

TEST_F(BLEApprovalBridgeTest, DecisionOnAShortIdResolvesTheFullIdsRequest)
{
    const QString first = gatewayId("7f3a9c1e-0000-4000-8000-000000000001");
    const QString second = gatewayId("7f3a9c1e-0000-4000-8000-000000000002");
    auto firstDecision = hold(first, QStringLiteral("one"));
    auto secondDecision = hold(second, QStringLiteral("two"));
    ASSERT_EQ(sent.size(), 1);

    const QString firstShown = shownId(QStringLiteral("one"));
    EXPECT_EQ(firstShown.size(), 16);
    bridge->handleControlFrame(QStringLiteral("R:") + firstShown + QStringLiteral(",allow,session"));
    ASSERT_TRUE(*firstDecision);
    EXPECT_EQ(**firstDecision, ApprovalDecision::allow(PermissionScope::Session));
    EXPECT_EQ(resolved, QStringList { first });

    // The second request, same first characters, is shown under an id of its own that reaches it alone.
    const QString secondShown = shownId(QStringLiteral("two"));
    ASSERT_FALSE(secondShown.isEmpty());
    bridge->handleControlFrame(QStringLiteral("R:") + secondShown + QStringLiteral(",deny"));
    ASSERT_TRUE(*secondDecision);
    EXPECT_EQ(**secondDecision, ApprovalDecision::deny());
    EXPECT_FALSE(table.hasActive());
}

TEST_F(BLEApprovalBridgeTest, WarningAndCancelNameTheRequestAsThePromptDid)
{
    const QString id = gatewayId("aaaaaaaa-0000-4000-8000-000000000001");
    auto decision = hold(id, QStringLiteral("make"));
    const QString shown = shownId(QStringLiteral("make"));
    clock.advance(hooks::PendingRequestTable::defaultWarningAfterMs);
    EXPECT_EQ(sent.last(), QStringLiteral("Q:") + shown + QStringLiteral(",warn"));

    QCoro::waitFor(bridge->cancelPending(id));
    EXPECT_EQ(sent.last(), QStringLiteral("Q:") + shown + QStringLiteral(",cancel"));
    // A decision after the cancel names nothing held any more, and is not passed on.
    bridge->handleControlFrame(QStringLiteral("R:") + shown + QStringLiteral(",allow"));
    EXPECT_TRUE(resolved.isEmpty());
    EXPECT_FALSE(*decision);
    table.resolve(id, ApprovalDecision::deny());
}

TEST_F(BLEApprovalBridgeTest, QueuedRequestsCanBeAnsweredAndFoldsAreRemembered)
{
    auto active = hold(QStringLiteral("tu-1"), QStringLiteral("one"));
    auto queued = hold(QStringLiteral("tu-2"), QStringLiteral("two"));
    bridge->showRequest(table.snapshot().active.value(), table.queueDepth());
    EXPECT_EQ(sent.last(), QStringLiteral("Q:tu-1,Bash,one,,0,1,-"));

    QStringList collapsed;
    bridge->onCollapse = [&](const QString& id) { collapsed << id; };
    bridge->handleControlFrame(QStringLiteral("RC:tu-1,folded"));
    bridge->handleControlFrame(QStringLiteral("RC:"));
    EXPECT_EQ(collapsed, QStringList { "tu-1" });
    EXPECT_TRUE(bridge->isFolded(QStringLiteral("tu-1")));
    EXPECT_FALSE(*active);

    // Ids that fit are shown as they are, so the device may answer a queued one by its full id.
    bridge->handleControlFrame(QStringLiteral("R:tu-2,deny"));
    EXPECT_EQ(**queued, ApprovalDecision::deny());
    bridge->handleControlFrame(QStringLiteral("PT:start"));
    bridge->handleControlFrame(QStringLiteral("R:unknown,allow"));
    EXPECT_FALSE(*active);
    bridge->clearFolded(QStringLiteral("tu-1"));
    EXPECT_FALSE(bridge->isFolded(QStringLiteral("tu-1")));
    table.resolve(QStringLiteral("tu-1"), ApprovalDecision::deny());
}

TEST(ShortIdTableTest, ShortIdsStayUniqueWhileTheyAreRemembered)
{
    ShortIdTable ids;
    EXPECT_EQ(ids.shortIdFor(QStringLiteral("tu-1")), QStringLiteral("tu-1"));
    QSet<QString> given;
    for (int i = 0; i < ShortIdTable::capacity; ++i) {
        const QString full = gatewayId("same-prefix-") + QString::number(i);
        const QString shortId = ids.shortIdFor(full);
        EXPECT_LE(shortId.size(), 16);
        EXPECT_FALSE(given.contains(shortId)) << shortId.toStdString();
        given.insert(shortId);
        EXPECT_EQ(ids.fullIdFor(shortId), full);
        EXPECT_EQ(ids.shortIdFor(full), shortId);
    }
    EXPECT_EQ(ids.size(), ShortIdTable::capacity);
    // The oldest went to make room; a text no request was shown under passes unchanged.
    EXPECT_EQ(ids.fullIdFor(QStringLiteral("tu-1")), QStringLiteral("tu-1"));
    EXPECT_FALSE(ids.knows(QStringLiteral("tu-1")));
    // An id that needs cleaning is never shown as itself.
    EXPECT_EQ(ids.shortIdFor(QStringLiteral("a,b")), QStringLiteral("a b"));
    EXPECT_EQ(ids.fullIdFor(QStringLiteral("a b")), QStringLiteral("a,b"));
}

namespace {

// The bridge as the application has it: over the link to a device played by the test, the pending table behind it,
// and the road that holds the agent's requests in the table.
struct OverLink final {
    OverLink()
    {
        bridge->onLog = [this](const QString& line, common::LogColor) { log << line; };
        road.setBridge(bridge);
        road.installTableHandlers();
        device.link->onControlFrame = [this](const QString& line) { bridge->handleControlFrame(line); };
    }

    // The road's replies resume when their requests are answered, so none may be left for the table's end.
    ~OverLink()
    {
        for (const hooks::ApprovalRequest& request : table.heldRequests()) {
            table.resolve(request.toolUseId, ApprovalDecision::failOpen());
        }
    }
    OverLink(const OverLink&) = delete;
    OverLink& operator=(const OverLink&) = delete;

    struct Held {
        std::shared_ptr<hooks::HeldRequest> connection = std::make_shared<hooks::HeldRequest>();
        std::shared_ptr<std::optional<std::optional<QString>>> reply;
    };

    // The agent's permission hook posts a request without a tool-use id, so the gateway makes one.
    Held ask(const QString& sessionId, const QString& path)
    {
        Held held;
        const QJsonObject payload { { "session_id", sessionId }, { "tool_name", "Write" },
            { "tool_input", QJsonObject { { "file_path", path }, { "content", "x" } } } };
        held.reply = test::keepResult(road.reply(QStringLiteral("PermissionRequest"), payload, held.connection));
        return held;
    }

    // The id a prompt line shows, or "" for another line.
    static QString promptId(const QString& line)
    {
        return line.startsWith(QLatin1String("Q:")) ? line.mid(2).section(QLatin1Char(','), 0, 0) : QString();
    }

    // What the device was told since the last look, without the warnings that time brings.
    QStringList promptLines()
    {
        QStringList lines = device.takeLines();
        lines.removeIf([](const QString& line) { return line.endsWith(QLatin1String(",warn")); });
        return lines;
    }

    test::FakeDevice device;
    hooks::PendingRequestTable table { device.clock };
    hooks::ApprovalRoad road { table, device.clock };
    std::shared_ptr<BLEApprovalBridge> bridge = BLEApprovalBridge::overLink(*device.link, table);
    QStringList log;
};

using Held = OverLink::Held;

} // namespace

TEST(BLEApprovalBridgeOverLinkTest, RequestsOfOneSessionAndToolHaveTheirOwnIdsAndARepeatedAnswerResolvesNothing)
{
    OverLink t;
    test::FakeDevice& device = t.device;
    ASSERT_TRUE(device.connect());
    device.takeLines();
    Held first = t.ask(QStringLiteral("0123456789"), QStringLiteral("/home/dev/a.txt"));
    Held second = t.ask(QStringLiteral("0123456789"), QStringLiteral("/home/dev/.bashrc"));
    const QStringList shownFirst = device.takeLines();
    ASSERT_EQ(shownFirst.size(), 1);
    EXPECT_TRUE(shownFirst.first().contains(QLatin1String(",Write,write a.txt,01234567,")))
        << shownFirst.first().toStdString();
    const QString firstId = OverLink::promptId(shownFirst.first());

    ASSERT_TRUE(device.transport->notify(("R:" + firstId + ",allow\n").toUtf8()));
    ASSERT_TRUE(*first.reply);
    EXPECT_TRUE((*first.reply)->value().contains(QLatin1String("\"behavior\":\"allow\"")));
    const QStringList shownSecond = device.takeLines();
    ASSERT_EQ(shownSecond.size(), 1);
    EXPECT_TRUE(shownSecond.first().contains(QLatin1String(",Write,write .bashrc,")))
        << shownSecond.first().toStdString();
    const QString secondId = OverLink::promptId(shownSecond.first());
    EXPECT_NE(secondId, firstId);
    EXPECT_LE(secondId.size(), 16);

    // The first answer again, as a device that repeats or delays its lines would send it.
    ASSERT_TRUE(device.transport->notify(("R:" + firstId + ",allow\n").toUtf8()));
    EXPECT_FALSE(*second.reply);
    EXPECT_EQ(t.table.activeRequest()->commandPreview, QStringLiteral("write .bashrc"));
    ASSERT_EQ(t.log.size(), 1);
    EXPECT_TRUE(t.log.first().startsWith(QStringLiteral("[approval-diag] device answered ") + firstId))
        << t.log.first().toStdString();
    EXPECT_TRUE(t.log.first().endsWith(QLatin1String("which no longer waits; nothing resolved")));
    EXPECT_TRUE(device.takeLines().isEmpty());

    ASSERT_TRUE(device.transport->notify(("R:" + secondId + ",deny\n").toUtf8()));
    ASSERT_TRUE(*second.reply);
    EXPECT_TRUE((*second.reply)->value().contains(QLatin1String("\"behavior\":\"deny\"")));
}

TEST(BLEApprovalBridgeOverLinkTest, ADeviceThatConnectsAgainIsShownThePromptThatWaits)
{
    OverLink t;
    test::FakeDevice& device = t.device;
    device.transport->setRssi(-60);
    ASSERT_TRUE(device.connect());
    device.takeLines();
    Held held = t.ask(QStringLiteral("0123456789"), QStringLiteral("/home/dev/a.txt"));
    const QStringList before = device.takeLines();
    ASSERT_EQ(before.size(), 1);

    ASSERT_TRUE(device.transport->dropConnection(QStringLiteral("out of range")));
    ASSERT_TRUE(device.reconnect());
    // Signal readings notify too, and must not repeat the prompt.
    device.clock.advance(device::BLEBridge::rssiIntervalMs);
    QCoreApplication::processEvents();
    const QStringList after = t.promptLines();
    EXPECT_EQ(after.filter(QStringLiteral("Q:")), before);

    // It answers the prompt it was shown again.
    ASSERT_TRUE(device.transport->notify(("R:" + OverLink::promptId(before.first()) + ",allow\n").toUtf8()));
    EXPECT_TRUE(*held.reply);
}

// Every way a request can end takes its prompt off the device in the same turn and shows the next one, except an
// answer from the device itself, which took it down already.
TEST(BLEApprovalBridgeOverLinkTest, EveryRoadThatEndsARequestTakesItsPromptOffTheDevice)
{
    struct Road {
        const char* name;
        std::function<void(OverLink&, Held&, const QString& sessionId, const QString& shownId)> end;
        bool deviceAnswered = false;
    };
    const std::vector<Road> roads {
        { "panel",
            [](auto& t, Held&, const QString&, const QString&) {
                t.table.resolve(t.table.activeRequest()->toolUseId, ApprovalDecision::allow(PermissionScope::Once));
            } },
        { "time-out",
            [](auto& t, Held&, const QString&, const QString&) {
                t.device.clock.advance(hooks::PendingRequestTable::defaultTimeoutAfterMs);
            } },
        { "agent gone", [](auto&, Held& held, const QString&, const QString&) { held.connection->markClosed(); } },
        { "terminal moved past",
            [](auto& t, Held&, const QString& sessionId, const QString&) {
                t.road.settleOvertaken(QStringLiteral("Stop"), QJsonObject { { "session_id", sessionId } });
            } },
        { "device",
            [](auto& t, Held&, const QString&, const QString& shownId) {
                t.device.transport->notify(("R:" + shownId + ",deny\n").toUtf8());
            },
            true },
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        OverLink t;
        ASSERT_TRUE(t.device.connect());
        t.device.takeLines();
        Held a = t.ask(QStringLiteral("aaaa1111"), QStringLiteral("/a"));
        Held b = t.ask(QStringLiteral("bbbb2222"), QStringLiteral("/b"));
        const QString aId = OverLink::promptId(t.device.takeLines().value(0));
        ASSERT_FALSE(aId.isEmpty());

        road.end(t, a, QStringLiteral("aaaa1111"), aId);
        ASSERT_TRUE(*a.reply);
        QStringList lines = t.promptLines();
        if (!road.deviceAnswered) {
            ASSERT_FALSE(lines.isEmpty());
            EXPECT_EQ(lines.takeFirst(), QStringLiteral("Q:") + aId + QStringLiteral(",cancel"));
        }
        ASSERT_EQ(lines.size(), 1);
        const QString bId = OverLink::promptId(lines.first());
        EXPECT_TRUE(lines.first().contains(QLatin1String(",write b,"))) << lines.first().toStdString();

        road.end(t, b, QStringLiteral("bbbb2222"), bId);
        ASSERT_TRUE(*b.reply);
        EXPECT_EQ(t.promptLines(),
            road.deviceAnswered ? QStringList {}
                                : QStringList { QStringLiteral("Q:") + bId + QStringLiteral(",cancel") });
        EXPECT_TRUE(t.log.isEmpty()) << t.log.join('\n').toStdString();
    }
}
