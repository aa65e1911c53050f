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

TEST(AccountTextsTest, Balances)
{
    using Tone = AccountTexts::BalanceTone;
    struct Row {
        qint64 minutes;
        QString text;
        Tone tone;
    };
    const Row rows[] = {
        { -1, QString(QChar(0x2014)), Tone::Unknown },
        { -40, QString(QChar(0x2014)), Tone::Unknown },
        { 0, QStringLiteral("0 mins left"), Tone::Empty },
        { 1, QStringLiteral("1 mins left"), Tone::Positive },
        { 1618, QStringLiteral("1618 mins left"), Tone::Positive },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(AccountTexts::minutesText(row.minutes), row.text) << row.minutes;
        EXPECT_EQ(AccountTexts::balanceTone(row.minutes), row.tone) << row.minutes;
    }
}

} // namespace
} // namespace murmeli::cloud
