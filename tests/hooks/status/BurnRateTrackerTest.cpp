#include "main/hooks/status/BurnRateTracker.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include "main/hooks/status/ApprovalPolicy.h"

namespace murmeli::hooks {
namespace {

QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(1'800'000'000 + seconds, Qt::UTC);
}

TEST(BurnRateTracker, RateIsSmoothedAndTheEstimateTruncated)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
    EXPECT_EQ(tracker.lastTime, at(0));

    tracker.update(30, at(60));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 7);
    tracker.update(40, at(120));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 6);
    tracker.update(60, at(180)); // 20 a minute weighs 0.3 against the running 10
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 13.0);
    EXPECT_EQ(tracker.estRemainingMin, 3);
}

TEST(BurnRateTracker, ReadingsTooCloseTogetherOnlyMoveTheReference)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(4));
    tracker.update(40, at(8)); // eight seconds after the first reading, but four after the reference
    tracker.update(50, at(13)); // exactly five is still too soon
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
    EXPECT_EQ(tracker.lastPercent, 50);
    EXPECT_EQ(tracker.lastTime, at(13));

    tracker.update(51, at(19));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
}

TEST(BurnRateTracker, FallingPercentKeepsTheEstimateAndBecomesTheReference)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(60));
    tracker.update(15, at(120)); // the agent compacted its context
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 7);
    EXPECT_EQ(tracker.lastPercent, 15);

    tracker.update(25, at(180));
    EXPECT_DOUBLE_EQ(tracker.burnRatePerMin, 10.0);
    EXPECT_EQ(tracker.estRemainingMin, 7);
}

TEST(BurnRateTracker, EstimateIsZeroForATinyRateOrAPercentPastFull)
{
    BurnRateTracker slow;
    slow.update(0, at(0));
    slow.update(1, at(6'000)); // one point in 100 minutes is not above the threshold
    EXPECT_DOUBLE_EQ(slow.burnRatePerMin, 0.01);
    EXPECT_EQ(slow.estRemainingMin, 0);

    BurnRateTracker over;
    over.update(10, at(0));
    over.update(11, at(60));
    ASSERT_EQ(over.estRemainingMin, 89);
    over.update(300, at(3'660));
    EXPECT_EQ(over.estRemainingMin, 0);
}

TEST(BurnRateTracker, ResetMakesTheNextReadingAFirstOneAgain)
{
    BurnRateTracker tracker;
    tracker.update(20, at(0));
    tracker.update(30, at(60));
    tracker.reset();
    EXPECT_EQ(tracker, BurnRateTracker {});
    tracker.update(50, at(120));
    EXPECT_EQ(tracker.burnRatePerMin, 0.0);
}

TEST(ApprovalPolicy, AlternatesWhileAttentionIsNeededAndPausesWithout)
{
    ApprovalPolicy policy;
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOn);
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOff);
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOn);
    EXPECT_EQ(policy.evaluate(false), ApprovalAction::None);
    EXPECT_EQ(policy.evaluate(false), ApprovalAction::None);
    EXPECT_EQ(policy.evaluate(true), ApprovalAction::BlinkOff);
}

} // namespace
} // namespace murmeli::hooks
