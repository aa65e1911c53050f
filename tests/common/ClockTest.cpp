#include "main/common/Clock.h"

#include <gtest/gtest.h>

#include "tests/support/Wait.h"

namespace murmeli::common {
namespace {

TEST(SystemClock, ScheduledCallbackFiresOnce)
{
    SystemClock clock;
    int fired = 0;
    bool later = false;
    clock.schedule(10, [&] { ++fired; });
    // A later timer tells us the event loop has run past the first one's due time at least once more.
    clock.schedule(60, [&] { later = true; });
    ASSERT_TRUE(test::waitUntil([&] { return later; }, 5000));
    EXPECT_EQ(fired, 1);
}

TEST(SystemClock, CancelledCallbackNeverFires)
{
    SystemClock clock;
    bool cancelledFired = false;
    bool sentinel = false;
    const auto id = clock.schedule(0, [&] { cancelledFired = true; });
    clock.schedule(50, [&] { sentinel = true; });
    clock.cancel(id);
    clock.cancel(id); // a second cancel of the same id is harmless
    clock.cancel(9999);
    ASSERT_TRUE(test::waitUntil([&] { return sentinel; }, 5000));
    EXPECT_FALSE(cancelledFired);
}

TEST(SystemClock, DestroyedClockFiresNothing)
{
    bool orphanFired = false;
    {
        SystemClock doomed;
        doomed.schedule(0, [&] { orphanFired = true; });
    }
    SystemClock clock;
    bool sentinel = false;
    clock.schedule(50, [&] { sentinel = true; });
    ASSERT_TRUE(test::waitUntil([&] { return sentinel; }, 5000));
    EXPECT_FALSE(orphanFired);
}

TEST(SystemClock, DeadlinePassedAsleepFiresWithinASliceOfTheWake)
{
    // The timer's own QTimer never learns of the jump; only the continuous scale says the deadline has passed.
    qint64 continuous = 0;
    SystemClock clock([&continuous] { return continuous; });
    bool fired = false;
    clock.schedule(3'600'000, [&] { fired = true; });
    continuous = 3'600'000 + 1; // an hour asleep
    ASSERT_TRUE(test::waitUntil([&] { return fired; }, 3 * SystemClock::maxSliceMs));
}

TEST(SystemClock, ContinuousScaleKeepsPaceWithTheSteadyOne)
{
    SystemClock clock;
    const qint64 steadyBefore = clock.monotonicMs();
    const qint64 continuousBefore = clock.continuousMs();
    bool later = false;
    clock.schedule(50, [&] { later = true; });
    ASSERT_TRUE(test::waitUntil([&] { return later; }, 5000));
    // Awake, both scales advance together; the timer did not fire before its time on either.
    EXPECT_GE(clock.continuousMs() - continuousBefore, 50);
    EXPECT_NEAR(clock.continuousMs() - continuousBefore, clock.monotonicMs() - steadyBefore, 20);
}

} // namespace
} // namespace murmeli::common
