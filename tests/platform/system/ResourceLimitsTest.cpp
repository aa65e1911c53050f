#include "platform/system/ResourceLimits.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace murmeli::platform {
namespace {

rlimit currentLimits()
{
    rlimit limits {};
    EXPECT_EQ(::getrlimit(RLIMIT_NOFILE, &limits), 0);
    return limits;
}

TEST(ResourceLimits, ReportsWhatTheKernelNowHolds)
{
    const rlimit before = currentLimits();
    const auto limit = raiseOpenFileLimit();
    ASSERT_TRUE(limit.has_value());
    const rlimit after = currentLimits();
    EXPECT_EQ(limit->before, before.rlim_cur);
    EXPECT_EQ(limit->after, after.rlim_cur);
    EXPECT_EQ(limit->hard, after.rlim_max);
    EXPECT_GE(after.rlim_cur, before.rlim_cur);
    EXPECT_EQ(limit->raised, after.rlim_cur > before.rlim_cur);
}

TEST(ResourceLimits, RaisesToTheWantedValueWithinTheHardLimit)
{
    rlimit limits = currentLimits();
    if (limits.rlim_cur < 64) {
        GTEST_SKIP() << "soft limit too small to lower for the test";
    }
    // Make room below the hard limit first so that a raise can be observed wherever the suite starts.
    limits.rlim_cur = limits.rlim_cur - 32;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limits), 0);
    const quint64 start = limits.rlim_cur;

    const auto limit = raiseOpenFileLimit(start + 16);
    ASSERT_TRUE(limit.has_value());
    EXPECT_EQ(limit->before, start);
    EXPECT_EQ(limit->after, start + 16);
    EXPECT_TRUE(limit->raised);
    EXPECT_EQ(currentLimits().rlim_cur, start + 16);
}

TEST(ResourceLimits, NeverLowersTheSoftLimit)
{
    const rlimit before = currentLimits();
    ASSERT_GT(before.rlim_cur, 1u);
    const auto limit = raiseOpenFileLimit(1);
    ASSERT_TRUE(limit.has_value());
    EXPECT_FALSE(limit->raised);
    EXPECT_EQ(limit->after, before.rlim_cur);
    EXPECT_EQ(currentLimits().rlim_cur, before.rlim_cur);
}

TEST(ResourceLimits, WantingMoreThanTheHardLimitStopsAtIt)
{
    const rlimit limits = currentLimits();
    if (limits.rlim_max == RLIM_INFINITY) {
        GTEST_SKIP() << "no finite hard limit to stop at";
    }
    const auto limit = raiseOpenFileLimit(quint64(limits.rlim_max) + 1000);
    ASSERT_TRUE(limit.has_value());
    EXPECT_EQ(limit->after, limits.rlim_max);
    EXPECT_EQ(currentLimits().rlim_cur, limits.rlim_max);
}

} // namespace
} // namespace murmeli::platform
