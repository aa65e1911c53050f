#include <gtest/gtest.h>

#include <memory>

#include "main/hooks/approvals/PendingRequestTable.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockApprovalBridge.h"

using namespace murmeli;
using hooks::ApprovalDecision;
using hooks::ApprovalRequest;
using hooks::PendingRequestTable;
using hooks::PermissionScope;

namespace {

struct Outcome {
    std::optional<ApprovalDecision> decision;
};

QCoro::Task<> hold(PendingRequestTable& table, ApprovalRequest request, std::shared_ptr<Outcome> outcome)
{
    outcome->decision = co_await table.enqueue(std::move(request));
}

class PendingRequestTableTest : public ::testing::Test {
protected:
    PendingRequestTableTest()
    {
        table.onActivate = [this](ApprovalRequest request) -> QCoro::Task<> {
            activations << request.toolUseId;
            return bridge.requestApproval(std::move(request));
        };
        table.onWarning = [this](ApprovalRequest request) { return bridge.signalWarning(std::move(request)); };
        bridge.setResolver([this](const QString& id, const ApprovalDecision& d) { table.resolve(id, d); });
    }

    ApprovalRequest request(const QString& id)
    {
        return ApprovalRequest { id, QStringLiteral("Bash"), QStringLiteral("ls"), "{}", clock.now(),
            QStringLiteral("Tool requested approval"), QStringLiteral("sess1234"), 0 };
    }

    std::shared_ptr<Outcome> enqueue(const QString& id)
    {
        auto outcome = std::make_shared<Outcome>();
        hold(table, request(id), outcome);
        return outcome;
    }

    test::FakeClock clock;
    PendingRequestTable table { clock };
    test::MockApprovalBridge bridge { clock };
    QStringList activations;
};

} // namespace

TEST_F(PendingRequestTableTest, QueuesInArrivalOrderAndPromotesOnDecision)
{
    auto a = enqueue(QStringLiteral("A"));
    auto b = enqueue(QStringLiteral("B"));
    auto c = enqueue(QStringLiteral("C"));
    EXPECT_EQ(activations, QStringList { QStringLiteral("A") });
    EXPECT_EQ(table.snapshot().active->toolUseId, QStringLiteral("A"));
    EXPECT_EQ(table.queueDepth(), 2);
    EXPECT_EQ(table.pendingCountTotal(), 3);
    EXPECT_EQ(table.snapshot().queueTotal(), 3);

    // A decision for a queued request answers it at once and leaves the active one alone.
    clock.advance(1000);
    table.resolve(QStringLiteral("C"), ApprovalDecision::deny(QStringLiteral("no")));
    EXPECT_EQ(c->decision, ApprovalDecision::deny(QStringLiteral("no")));
    EXPECT_FALSE(a->decision);
    EXPECT_EQ(table.activeRequest()->toolUseId, QStringLiteral("A"));
    EXPECT_EQ(table.queueDepth(), 1);

    table.resolve(QStringLiteral("A"), ApprovalDecision::allow(PermissionScope::Session));
    EXPECT_EQ(a->decision, ApprovalDecision::allow(PermissionScope::Session));
    EXPECT_EQ(activations, (QStringList { QStringLiteral("A"), QStringLiteral("B") }));
    EXPECT_EQ(table.activeRequest()->toolUseId, QStringLiteral("B"));

    table.resolve(QStringLiteral("B"), ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_FALSE(table.hasActive());
    EXPECT_EQ(table.oldestPendingAgeSec(), -1);
    // Nothing held under this id any more: ignored.
    table.resolve(QStringLiteral("B"), ApprovalDecision::deny());
    EXPECT_EQ(b->decision, ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_EQ(clock.pendingTimers(), 0);
}

TEST_F(PendingRequestTableTest, DuplicateIdFailsOpenAtOnceAndLeavesTheHolder)
{
    auto first = enqueue(QStringLiteral("A"));
    auto queued = enqueue(QStringLiteral("B"));
    auto duplicateOfActive = enqueue(QStringLiteral("A"));
    auto duplicateOfQueued = enqueue(QStringLiteral("B"));
    EXPECT_EQ(duplicateOfActive->decision, ApprovalDecision::failOpen());
    EXPECT_EQ(duplicateOfQueued->decision, ApprovalDecision::failOpen());
    EXPECT_FALSE(first->decision);
    EXPECT_EQ(table.queueDepth(), 1);
    table.resolve(QStringLiteral("A"), ApprovalDecision::deny());
    EXPECT_EQ(first->decision, ApprovalDecision::deny());
}

TEST_F(PendingRequestTableTest, WarningAtFiveSecondsAndFailOpenAtTwentyFive)
{
    auto a = enqueue(QStringLiteral("A"));
    auto b = enqueue(QStringLiteral("B"));
    clock.advance(4999);
    EXPECT_FALSE(table.activeWarningFired());
    EXPECT_TRUE(bridge.warningLog.isEmpty());
    clock.advance(1);
    EXPECT_TRUE(table.activeWarningFired());
    EXPECT_EQ(bridge.warningLog, QStringList { QStringLiteral("A") });
    EXPECT_EQ(table.oldestPendingAgeSec(), 5);

    clock.advance(19999);
    EXPECT_FALSE(a->decision);
    clock.advance(1);
    EXPECT_EQ(a->decision, ApprovalDecision::failOpen());

    // B is promoted with fresh delays counted from now, not from its arrival, and starts unwarned.
    EXPECT_EQ(table.activeRequest()->toolUseId, QStringLiteral("B"));
    EXPECT_FALSE(table.activeWarningFired());
    EXPECT_EQ(table.oldestPendingAgeSec(), 25);
    clock.advance(4999);
    EXPECT_EQ(bridge.warningLog.size(), 1);
    clock.advance(1);
    EXPECT_EQ(bridge.warningLog, (QStringList { QStringLiteral("A"), QStringLiteral("B") }));
    clock.advance(20000);
    EXPECT_EQ(b->decision, ApprovalDecision::failOpen());
    EXPECT_FALSE(table.hasActive());
}

TEST_F(PendingRequestTableTest, TimeAsleepCountsTowardsTheDelays)
{
    // Asleep for 10 s: the warning is due at the wake, and the time-out comes 15 s of awake time later.
    auto a = enqueue(QStringLiteral("A"));
    clock.suspend(10000);
    EXPECT_TRUE(bridge.warningLog.isEmpty()); // nothing runs while the machine sleeps
    clock.advance(0);
    EXPECT_EQ(bridge.warningLog, QStringList { QStringLiteral("A") });
    clock.advance(14999);
    EXPECT_FALSE(a->decision);
    clock.advance(1);
    EXPECT_EQ(a->decision, ApprovalDecision::failOpen());

    // Held across a long suspend, a request fails open at the wake.
    auto b = enqueue(QStringLiteral("B"));
    clock.suspend(3'600'000);
    EXPECT_FALSE(b->decision);
    clock.advance(0);
    EXPECT_EQ(b->decision, ApprovalDecision::failOpen());
    EXPECT_FALSE(table.hasActive());
}

TEST_F(PendingRequestTableTest, EarlyDecisionCancelsBothTimers)
{
    auto a = enqueue(QStringLiteral("A"));
    clock.advance(4000);
    table.resolve(QStringLiteral("A"), ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_EQ(clock.pendingTimers(), 0);
    clock.advance(30000);
    EXPECT_TRUE(bridge.warningLog.isEmpty());
    EXPECT_EQ(a->decision, ApprovalDecision::allow(PermissionScope::Once));
}

TEST_F(PendingRequestTableTest, BridgeCanAnswerThroughTheTable)
{
    bridge.script(ApprovalDecision::deny(QStringLiteral("from device")), 50);
    auto a = enqueue(QStringLiteral("A"));
    EXPECT_EQ(bridge.requestLog, QStringList { QStringLiteral("A") });
    clock.advance(49);
    EXPECT_FALSE(a->decision);
    clock.advance(1);
    EXPECT_EQ(a->decision, ApprovalDecision::deny(QStringLiteral("from device")));
}

TEST_F(PendingRequestTableTest, HandlerThatAnswersAtOnceLeavesTheTableConsistent)
{
    table.onActivate = [this](ApprovalRequest request) -> QCoro::Task<> {
        activations << request.toolUseId;
        if (request.toolUseId == QStringLiteral("A")) {
            table.resolve(request.toolUseId, ApprovalDecision::deny());
        }
        return bridge.requestApproval(std::move(request));
    };
    auto a = enqueue(QStringLiteral("A"));
    EXPECT_EQ(a->decision, ApprovalDecision::deny());
    EXPECT_FALSE(table.hasActive());
    EXPECT_EQ(clock.pendingTimers(), 0);
    auto b = enqueue(QStringLiteral("B"));
    EXPECT_EQ(table.activeRequest()->toolUseId, QStringLiteral("B"));
}

TEST_F(PendingRequestTableTest, DestroyedTableFailsOpenEveryWaiter)
{
    auto own = std::make_unique<PendingRequestTable>(clock);
    auto a = std::make_shared<Outcome>();
    auto b = std::make_shared<Outcome>();
    hold(*own, request(QStringLiteral("A")), a);
    hold(*own, request(QStringLiteral("B")), b);
    own.reset();
    EXPECT_EQ(a->decision, ApprovalDecision::failOpen());
    EXPECT_EQ(b->decision, ApprovalDecision::failOpen());
    EXPECT_EQ(clock.pendingTimers(), 0);
}

TEST_F(PendingRequestTableTest, NoRequestIsHeldPastTheHoldLimitCountedFromItsArrival)
{
    QStringList expired;
    table.onExpire = [&expired](ApprovalRequest request) -> QCoro::Task<> {
        expired << request.toolUseId;
        co_return;
    };
    auto a = enqueue(QStringLiteral("A"));
    auto b = enqueue(QStringLiteral("B"));
    auto c = enqueue(QStringLiteral("C"));
    clock.advance(25000);
    EXPECT_EQ(a->decision, ApprovalDecision::failOpen());
    clock.advance(24999);
    EXPECT_FALSE(b->decision);
    clock.advance(1);
    EXPECT_EQ(b->decision, ApprovalDecision::failOpen());

    // C became active at 50 s and would wait until 75 s; its hook stops listening before that.
    EXPECT_EQ(activations, (QStringList { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") }));
    clock.advance(4999);
    EXPECT_FALSE(c->decision);
    clock.advance(1);
    EXPECT_EQ(c->decision, ApprovalDecision::failOpen());
    EXPECT_EQ(expired, QStringList { QStringLiteral("C") });
    EXPECT_FALSE(table.hasActive());
    EXPECT_EQ(clock.pendingTimers(), 0);
}

// However a request leaves the table, its session's list lets it go too: one kept there would be settled again at
// each of the session's later events, and its memory held for as long as the session lives.
TEST_F(PendingRequestTableTest, ARequestThatLeavesIsNoLongerListedForItsSession)
{
    const struct {
        const char* how;
        std::function<void(PendingRequestTable&, test::FakeClock&)> leave;
        const char* listed;
    } rows[] = {
        { "answered while shown", [](auto& t, auto&) { t.resolve(QStringLiteral("A"), ApprovalDecision::deny()); },
            "B C" },
        { "answered while queued", [](auto& t, auto&) { t.resolve(QStringLiteral("B"), ApprovalDecision::deny()); },
            "A C" },
        { "failed open at the time-out", [](auto&, auto& c) { c.advance(25000); }, "B C" },
        { "failed open at the hold limit", [](auto&, auto& c) { c.advance(55000); }, "" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        PendingRequestTable held(clock);
        for (const char* id : { "A", "B", "C" }) {
            hold(held, request(QString::fromLatin1(id)), std::make_shared<Outcome>());
        }
        row.leave(held, clock);
        QStringList listed;
        for (const ApprovalRequest& still : held.heldRequestsOf(QStringLiteral("sess1234"))) {
            listed << still.toolUseId;
        }
        EXPECT_EQ(listed.join(u' ').toStdString(), row.listed);
    }
}
