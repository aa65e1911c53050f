#include "main/cloud/account/AccountTexts.h"

#include <gtest/gtest.h>

namespace murmeli::cloud {
namespace {

// The page, the plan card and the device name the plan alike; only pay-go has a layout of its own.
TEST(AccountTextsTest, PlanNames)
{
    struct Row {
        const char* tier;
        const char* name;
        bool payAsYouGo;
    };
    const Row rows[] = {
        { "pay-go", "Pay-as-you-go", true },
        { "PAY-GO", "Pay-as-you-go", true },
        { "Pay-Go", "Pay-as-you-go", true },
        { "", "Free", false },
        { "  ", "Free", false },
        { "free", "Free", false },
        { "pro", "Pro", false },
        { "team PLUS", "Team Plus", false },
        { "pay go", "Pay Go", false },
    };
    for (const Row& row : rows) {
        const QString tier = QString::fromLatin1(row.tier);
        EXPECT_EQ(AccountTexts::planName(tier), QString::fromLatin1(row.name)) << row.tier;
        EXPECT_EQ(AccountTexts::isPayAsYouGo(tier), row.payAsYouGo) << row.tier;
    }
}

} // namespace
} // namespace murmeli::cloud
