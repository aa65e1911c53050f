#include "main/hooks/BurnRateTracker.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include "main/hooks/ApprovalPolicy.h"

namespace murmeli::hooks {
namespace {

const QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

QDateTime at(qint64 seconds)
{
    return start.addSecs(seconds);
}

TEST(BurnRateTracker, FirstUpdateOnlySetsTheReference)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
    EXPECT_EQ(tracker.estRemainingMin, 0);
    EXPECT_EQ(tracker.lastPercent, 20);
    EXPECT_EQ(tracker.lastTime, at(0));
}

TEST(BurnRateTracker, RateIsSmoothedAndTheEstimateTruncated)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(60));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 7);

    tracker.update(40, at(120));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 6);

    // 20 points in a minute weigh 0.3 against the running 10: 13 per minute, 40 / 13 = 3.1 minutes.
    tracker.update(60, at(180));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 13.0);
    EXPECT_EQ(tracker.estRemainingMin, 3);
}

TEST(BurnRateTracker, ReadingsTooCloseTogetherOnlyMoveTheReference)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(4));
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
    EXPECT_EQ(tracker.lastPercent, 30);
    EXPECT_EQ(tracker.lastTime, at(4));

    // Eight seconds after the first reading but only four after the reference, and exactly five is still too soon.
    tracker.update(40, at(8));
    tracker.update(50, at(13));
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
    EXPECT_EQ(tracker.estRemainingMin, 0);

    tracker.update(51, at(19));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
}

TEST(BurnRateTracker, FallingOrFlatPercentKeepsTheEstimateAndBecomesTheReference)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(60));
    ASSERT_EQ(tracker.estRemainingMin, 7);

    tracker.update(15, at(120)); // the agent compacted its context
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 7);
    EXPECT_EQ(tracker.lastPercent, 15);

    tracker.update(15, at(180));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);

    tracker.update(25, at(240));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 7);
}

TEST(BurnRateTracker, EstimateIsZeroForATinyRateOrAPercentPastFull)
{
    BurnRateTracker slow;
    slow.update(0, at(0));
    slow.update(1, at(6'000)); // one point in 100 minutes
    EXPECT_DOUBLE_EQ(slow.burnRatePerMin, 0.01);
    EXPECT_EQ(slow.estRemainingMin, 0);

    BurnRateTracker over;
    over.update(10, at(0));
    over.update(11, at(60));
    ASSERT_EQ(over.estRemainingMin, 89);
    over.update(300, at(3'660));
    EXPECT_GT(over.burnRatePerMin, 0.0);
    EXPECT_EQ(over.estRemainingMin, 0);
}

TEST(BurnRateTracker, ResetReturnsToTheInitialState)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(60));
    tracker.reset();
    EXPECT_EQ(tracker, BurnRateTracker {});
    EXPECT_EQ(tracker.lastPercent, -1);
    EXPECT_FALSE(tracker.lastTime.has_value());

    // After a reset the next reading is a first reading again.
    tracker.update(50, at(120));
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
}

TEST(ApprovalPolicy, AlternatesWhileAttentionIsNeededAndPausesWithout)
{
    ApprovalPolicy policy;
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOn);
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOff);
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOn);
    EXPECT_TRUE(policy.blinkState);

    EXPECT_EQ(policy.evaluate(false), ApprovalAction::None);
    EXPECT_EQ(policy.evaluate(false), ApprovalAction::None);
    EXPECT_TRUE(policy.blinkState);
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOff);
}

TEST(ApprovalPolicy, ActionNames)
{
    EXPECT_EQ(toString(ApprovalAction::BlinkOn), QStringLiteral("blinkOn"));
    EXPECT_EQ(toString(ApprovalAction::BlinkOff), QStringLiteral("blinkOff"));
    EXPECT_EQ(toString(ApprovalAction::None), QStringLiteral("none"));
}

} // namespace
} // namespace murmeli::hooks
