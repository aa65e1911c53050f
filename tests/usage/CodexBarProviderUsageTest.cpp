#include "main/usage/CodexBarProviderUsage.h"

#include <optional>

#include <gtest/gtest.h>

namespace murmeli::usage {
namespace {

TEST(CodexBarProviderUsageTest, FinancialOnlyWithNothingUsedAndAnAmountInTheDescription)
{
    struct Case {
        int percent;
        std::optional<QString> description;
        bool financial;
    };
    const Case cases[] = {
        { 0, QStringLiteral("$18.42 (Paid: $15.00 / Granted: $3.42)"), true },
        { 0, QStringLiteral("Balance: ¥ 120"), true },
        { 0, QStringLiteral("€\t7"), true },
        { 3, QStringLiteral("$18.42"), false },
        { 0, std::nullopt, false },
        { 0, QString(), false },
        { 0, QStringLiteral("Resets tomorrow at 1:00 AM"), false },
        { 0, QStringLiteral("top up in $ soon"), false },
        { 0, QStringLiteral("12 $"), false },
    };
    for (const Case& c : cases) {
        CodexBarProviderUsage usage;
        usage.primaryPercent = c.percent;
        usage.primaryResetDescription = c.description;
        EXPECT_EQ(usage.isFinancial(), c.financial)
            << c.percent << " " << c.description.value_or("<none>").toStdString();
    }
}

// One known name, in any case, stands for the list; the rest are capitalised word by word.
TEST(CodexBarProviderUsageTest, DisplayNames)
{
    const std::pair<QString, QString> cases[] = {
        { QStringLiteral("OPENROUTER"), QStringLiteral("OpenRouter") },
        { QString(), QStringLiteral("—") },
        { QStringLiteral("claude"), QStringLiteral("Claude") },
        { QStringLiteral("CODEX"), QStringLiteral("Codex") },
        { QStringLiteral("kimi-k2"), QStringLiteral("Kimi-K2") },
        { QStringLiteral("opencode go"), QStringLiteral("Opencode Go") },
    };
    for (const auto& [id, name] : cases) {
        EXPECT_EQ(CodexBarProviderUsage::displayName(id), name) << id.toStdString();
    }
}

} // namespace
} // namespace murmeli::usage
