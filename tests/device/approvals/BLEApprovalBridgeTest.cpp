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

TEST_F(BLEApprovalBridgeTest, QueuedRequestsWaitForTheirPromptAndFoldsAreRemembered)
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

    // The device answers only what it was shown: a queued request, not shown yet, is not reached by its full id.
    bridge->handleControlFrame(QStringLiteral("R:tu-2,deny"));
    EXPECT_FALSE(*queued);
    bridge->handleControlFrame(QStringLiteral("PT:start"));
    bridge->handleControlFrame(QStringLiteral("R:unknown,allow"));
    EXPECT_FALSE(*active);
    bridge->clearFolded(QStringLiteral("tu-1"));
    EXPECT_FALSE(bridge->isFolded(QStringLiteral("tu-1")));
    table.resolve(QStringLiteral("tu-1"), ApprovalDecision::deny());
    table.resolve(QStringLiteral("tu-2"), ApprovalDecision::deny());
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

// The id a prompt line shows, or "" for another line.
QString idOf(const QString& line)
{
    return line.startsWith(QLatin1String("Q:")) ? line.mid(2).section(QLatin1Char(','), 0, 0) : QString();
}

// The bridge as the application has it: over the link to a connected device played by the test, with the pending
// table and the road that holds the agent's requests in it.
struct OverLink final {
    struct Held {
        std::shared_ptr<hooks::HeldRequest> connection = std::make_shared<hooks::HeldRequest>();
        std::shared_ptr<std::optional<std::optional<QString>>> reply;
    };

    OverLink()
    {
        bridge->onLog = [this](const QString& line, common::LogColor) { log << line; };
        road.setBridge(bridge);
        road.installTableHandlers();
        device.link->onControlFrame = [this](const QString& line) { bridge->handleControlFrame(line); };
        connected = device.connect();
        device.takeLines();
    }
    // The road's replies resume when their requests are answered, so none may be left for the table's end.
    ~OverLink()
    {
        for (const hooks::ApprovalRequest& request : table.heldRequests()) {
            table.resolve(request.toolUseId, ApprovalDecision::failOpen());
        }
    }

    // The agent's permission hook posts a request without a tool-use id, so the gateway makes one.
    Held ask(const QString& sessionId, const QString& path)
    {
        Held held;
        const QJsonObject payload { { "session_id", sessionId }, { "tool_name", "Write" },
            { "tool_input", QJsonObject { { "file_path", path }, { "content", "x" } } } };
        held.reply = test::keepResult(road.reply(QStringLiteral("PermissionRequest"), payload, held.connection));
        return held;
    }

    void answer(const QString& id, const char* verb)
    {
        device.transport->notify(("R:" + id + ',' + verb + '\n').toUtf8());
    }

    test::FakeDevice device;
    // No warning comes before the time-out, so the device hears only prompts and cancels.
    hooks::PendingRequestTable table { device.clock, hooks::PendingRequestTable::defaultHoldLimitMs };
    hooks::ApprovalRoad road { table, device.clock };
    std::shared_ptr<BLEApprovalBridge> bridge = BLEApprovalBridge::overLink(*device.link, table);
    QStringList log;
    bool connected = false;
};

using Held = OverLink::Held;

} // namespace

TEST(
    BLEApprovalBridgeOverLinkTest, EachRequestHasItsOwnIdALateAnswerResolvesNothingAndAReturningDeviceSeesTheWaitingOne)
{
    OverLink t;
    ASSERT_TRUE(t.connected);
    t.device.transport->setRssi(-60);
    Held first = t.ask(QStringLiteral("0123456789"), QStringLiteral("/home/dev/a.txt"));
    Held second = t.ask(QStringLiteral("0123456789"), QStringLiteral("/home/dev/.bashrc"));
    const QString firstId = idOf(t.device.takeLines().value(0));
    t.answer(firstId, "allow");
    ASSERT_TRUE(*first.reply);
    const QStringList shown = t.device.takeLines();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().contains(QLatin1String(",Write,write .bashrc,01234567,"))) << shown.first().toStdString();
    const QString secondId = idOf(shown.first());
    EXPECT_NE(secondId, firstId);
    EXPECT_LE(secondId.size(), 16);

    // The device comes back and is shown the waiting prompt once (signal readings notify too); then it repeats its
    // first answer, which reaches nothing.
    ASSERT_TRUE(t.device.transport->dropConnection());
    ASSERT_TRUE(t.device.reconnect());
    t.device.clock.advance(device::BLEBridge::rssiIntervalMs);
    QCoreApplication::processEvents();
    EXPECT_EQ(t.device.takeLines().filter(QStringLiteral("Q:")), shown);
    t.answer(firstId, "allow");
    EXPECT_FALSE(*second.reply);
    ASSERT_EQ(t.log.size(), 1);
    EXPECT_TRUE(t.log.first().startsWith(QStringLiteral("[approval-diag] device answered ") + firstId));
    EXPECT_TRUE(t.log.first().endsWith(QLatin1String("which no longer waits; nothing resolved")));

    t.answer(secondId, "deny");
    ASSERT_TRUE(*second.reply);
    EXPECT_TRUE((*second.reply)->value().contains(QLatin1String("\"behavior\":\"deny\"")));
}

// Every way a request can end takes its prompt off the device in the same turn and shows the next one, except an
// answer from the device itself, which took it down already.
TEST(BLEApprovalBridgeOverLinkTest, EveryRoadThatEndsARequestTakesItsPromptOffTheDevice)
{
    struct Road {
        const char* name;
        std::function<void(OverLink&, Held&, const QString& sessionId, const QString& shownId)> end;
        bool byDevice = false;
    };
    const std::vector<Road> roads {
        { "panel",
            [](OverLink& t, Held&, const QString&, const QString&) {
                t.table.resolve(t.table.activeRequest()->toolUseId, ApprovalDecision::allow(PermissionScope::Once));
            } },
        { "time-out",
            [](OverLink& t, Held&, const QString&, const QString&) {
                t.device.clock.advance(hooks::PendingRequestTable::defaultTimeoutAfterMs);
            } },
        { "agent gone", [](OverLink&, Held& held, const QString&, const QString&) { held.connection->markClosed(); } },
        { "terminal moved past",
            [](OverLink& t, Held&, const QString& sessionId, const QString&) {
                t.road.settleOvertaken(QStringLiteral("Stop"), QJsonObject { { "session_id", sessionId } });
            } },
        { "device", [](OverLink& t, Held&, const QString&, const QString& id) { t.answer(id, "deny"); }, true },
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        OverLink t;
        ASSERT_TRUE(t.connected);
        Held a = t.ask(QStringLiteral("aaaa1111"), QStringLiteral("/a"));
        Held b = t.ask(QStringLiteral("bbbb2222"), QStringLiteral("/b"));
        const QString aId = idOf(t.device.takeLines().value(0));

        road.end(t, a, QStringLiteral("aaaa1111"), aId);
        ASSERT_TRUE(*a.reply);
        QStringList lines = t.device.takeLines();
        if (!road.byDevice) {
            EXPECT_EQ(lines.value(0), QStringLiteral("Q:") + aId + QStringLiteral(",cancel"));
            lines.removeFirst();
        }
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.first().contains(QLatin1String(",write b,"))) << lines.first().toStdString();
        const QString bId = idOf(lines.first());

        road.end(t, b, QStringLiteral("bbbb2222"), bId);
        ASSERT_TRUE(*b.reply);
        const QStringList cancel { QStringLiteral("Q:") + bId + QStringLiteral(",cancel") };
        EXPECT_EQ(t.device.takeLines(), road.byDevice ? QStringList {} : cancel);
        EXPECT_TRUE(t.log.isEmpty()) << t.log.join('\n').toStdString();
    }
}
