#include "main/usage/CodexBarOutputParser.h"

#include <gtest/gtest.h>

#include <QFile>

namespace murmeli::usage {
namespace {

QByteArray recorded(const char* name)
{
    QFile file(QStringLiteral(MURMELI_FAKE_CODEXBAR_DIR "/fixtures/%1.json").arg(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QLatin1String(text), Qt::ISODateWithMs).toUTC();
}

CodexBarProviderUsage only(const QByteArray& output)
{
    const auto rows = CodexBarOutputParser::parse(output);
    EXPECT_TRUE(rows && rows->size() == 1) << output.toStdString();
    return rows && !rows->empty() ? rows->front() : CodexBarProviderUsage {};
}

TEST(CodexBarOutputParserTest, SubscriptionProviderWithItsWindows)
{
    CodexBarProviderUsage expected;
    expected.providerID = QStringLiteral("claude");
    expected.plan = QStringLiteral("Claude Max");
    expected.primaryPercent = 37;
    expected.primaryResetsAt = utc("2026-03-02T18:00:00Z");
    expected.secondary = CodexBarProviderUsage::WindowMini { 13, utc("2026-03-06T09:00:00Z"), std::nullopt };
    expected.lastUpdate = utc("2026-03-02T14:21:07Z");
    expected.extraRateWindows = std::vector<CodexBarProviderUsage::ExtraRateWindow> {
        { QStringLiteral("tertiary"), QStringLiteral("Sonnet"), { 4, utc("2026-03-06T09:00:00Z"), std::nullopt } },
    };
    const CodexBarProviderUsage claude = only(recorded("claude"));
    EXPECT_EQ(claude, expected);
    EXPECT_FALSE(claude.isFinancial());

    const CodexBarProviderUsage codex = only(recorded("codex"));
    EXPECT_EQ(codex.plan, QStringLiteral("plus"));
    EXPECT_EQ(codex.lastUpdate, utc("2026-03-02T14:20:58.412Z"));
    // The window whose usage the tool does not know is left out rather than shown as 0 % used.
    ASSERT_TRUE(codex.extraRateWindows);
    ASSERT_EQ(codex.extraRateWindows->size(), 1u);
    EXPECT_EQ(codex.extraRateWindows->front().id, QStringLiteral("codex-spark"));
    EXPECT_EQ(codex.extraRateWindows->front().window.usedPercent, 3);
}

TEST(CodexBarOutputParserTest, PayAsYouGoProvidersShowTheirBalance)
{
    const CodexBarProviderUsage deepseek = only(recorded("deepseek"));
    EXPECT_EQ(deepseek.primaryResetDescription, QStringLiteral("$18.42 (Paid: $15.00 / Granted: $3.42)"));
    EXPECT_EQ(deepseek.plan, std::nullopt);
    EXPECT_EQ(deepseek.secondary, std::nullopt);
    EXPECT_TRUE(deepseek.isFinancial());

    // Without a usage window, the spend snapshot gives the balance line; a single payload object is accepted too.
    const CodexBarProviderUsage openrouter = only(R"({"provider":"openrouter","source":"api","usage":{
        "primary":null,"secondary":null,"tertiary":null,
        "providerCost":{"used":2.32,"limit":0,"currencyCode":"USD","balance":7.68,"updatedAt":"2026-03-02T14:00:00Z"},
        "updatedAt":"2026-03-02T14:00:00Z"}})");
    EXPECT_EQ(openrouter.primaryResetDescription, QStringLiteral("$7.68"));
    EXPECT_TRUE(openrouter.isFinancial());
}

TEST(CodexBarOutputParserTest, PercentagesStayWithinTheWindow)
{
    const CodexBarProviderUsage over = only(R"([{"provider":"zai","usage":{"primary":{"usedPercent":140.2},
        "secondary":{"usedPercent":-3},"updatedAt":"not a date"}}])");
    EXPECT_EQ(over.primaryPercent, 100);
    EXPECT_EQ(over.secondary->usedPercent, 0);
    EXPECT_EQ(over.lastUpdate, std::nullopt);
}

TEST(CodexBarOutputParserTest, OutputWithoutUsableProvidersIsAMismatch)
{
    const QByteArray cases[] = {
        "Session: 72% left [========----]",
        "",
        "[]",
        "42",
        "{}",
        recorded("error"),
        R"([{"provider":"cli","source":"cli","usage":{"primary":{"usedPercent":1}},"error":{"code":1}}])",
        R"([{"provider":"claude","usage":null}])",
        R"([{"provider":"","usage":{"primary":{"usedPercent":1}}}])",
        R"([{"provider":"claude","usage":{"primary":{"usedPercent":1}})",
    };
    for (const QByteArray& output : cases) {
        EXPECT_EQ(CodexBarOutputParser::parse(output), std::nullopt) << output.toStdString();
    }
}

} // namespace
} // namespace murmeli::usage
