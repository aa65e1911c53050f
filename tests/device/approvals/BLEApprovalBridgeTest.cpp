#include "main/device/approvals/BLEApprovalBridge.h"

#include <memory>

#include <gtest/gtest.h>

#include <QStringList>

#include "main/device/approvals/ShortIdTable.h"
#include "main/hooks/approvals/PendingRequestTable.h"
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
                table.resolve(id, decision);
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
    // A decision after the cancel names nothing held any more.
    bridge->handleControlFrame(QStringLiteral("R:") + shown + QStringLiteral(",allow"));
    EXPECT_EQ(resolved, QStringList { shown });
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
