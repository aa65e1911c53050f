#include "main/cloud/billing/PlanUsage.h"

#include <gtest/gtest.h>

namespace murmeli::cloud {
namespace {

TEST(PlanUsageTest, ResetTexts)
{
    const double now = 1'800'000'000.25;
    const qint64 base = 1'800'000'000;
    const std::pair<qint64, const char*> rows[] = {
        { 0, "" },
        { -5, "" },
        { base - 3600, "Resets soon · 即将重置" },
        { base, "Resets soon · 即将重置" }, // now is a quarter second later
        { base + 60, "Resets in 1h · 1 小时后" },
        { base + 90 * 60, "Resets in 1h · 1 小时后" },
        { base + 23 * 3600 + 3599, "Resets in 23h · 23 小时后" },
        { base + 36 * 3600, "Resets in 1 day · 1 天后" },
        { base + 2 * 86400 + 3600, "Resets in 2 days · 2 天后" },
    };
    for (const auto& [unix, text] : rows) {
        EXPECT_EQ(PlanUsage::resetText(unix, now), QString::fromUtf8(text)) << unix - base;
    }
}

} // namespace
} // namespace murmeli::cloud
