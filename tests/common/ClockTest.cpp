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

} // namespace
} // namespace murmeli::common
