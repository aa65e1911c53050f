#include "main/notch/views/UsageHeader.h"

#include <gtest/gtest.h>

#include "main/ui/design/Tokens.h"
#include "main/usage/CodexBarOutputParser.h"

using namespace murmeli;
using notch::UsageHeader;

TEST(UsageHeaderTest, ResetTexts)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const struct {
        std::optional<QDateTime> resetsAt;
        std::optional<QString> fallback;
        QString text;
    } cases[] = {
        { now.addSecs(90 * 60), std::nullopt, "resets in 1h 30m" },
        { now.addSecs(2 * 3600 + 30), std::nullopt, "resets in 2h" },
        { now.addSecs(30), std::nullopt, "resets in soon" },
        { now.addSecs(-300), std::nullopt, "resets in soon" },
        { now.addSecs(59 * 60), std::nullopt, "resets in 59m" },
        { now.addSecs(3 * 86400 + 7200), std::nullopt, "resets in 3d" },
        { now.addMSecs(59'500), std::nullopt, "resets in 1m" },
        { std::nullopt, QStringLiteral("Resets Friday"), "Resets Friday" },
        { std::nullopt, QString(), "resets soon" },
        { std::nullopt, std::nullopt, "resets soon" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UsageHeader::formattedReset(c.resetsAt, c.fallback, now), c.text);
    }
}

TEST(UsageHeaderTest, WhatIsLeftAndItsColour)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    using ui::Color::vantorSignalAmber;
    using ui::Color::vantorSignalGreen;
    using ui::Color::vantorSignalRed;
    const struct {
        int percent;
        QString left;
        QColor colour;
        bool bold;
    } cases[] = {
        { 95, "  5% left", vantorSignalRed, true },
        { 90, " 10% left", vantorSignalRed, false },
        { 31, " 69% left", vantorSignalAmber, false },
        { 30, " 70% left", vantorSignalGreen, false },
        { 0, "100% left", vantorSignalGreen, false },
        { 100, "  0% left", vantorSignalRed, true },
        { 120, "  0% left", vantorSignalRed, true },
    };
    for (const auto& c : cases) {
        const UsageHeader::MetricLine line = UsageHeader::metricLine("5h", c.percent, std::nullopt, std::nullopt, now);
        EXPECT_EQ(line.left, c.left) << c.percent;
        EXPECT_EQ(line.colour, c.colour) << c.percent;
        EXPECT_EQ(line.bold, c.bold) << c.percent;
    }
}

TEST(UsageHeaderTest, TabsWindowsAndTheUpdateLine)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    usage::CodexBarProviderUsage claude;
    claude.providerID = QStringLiteral("claude");
    claude.plan = QStringLiteral("Max");
    claude.primaryPercent = 40;
    claude.secondary = usage::CodexBarProviderUsage::WindowMini { 10, std::nullopt, QStringLiteral("Mon") };
    claude.extraRateWindows = std::vector { usage::CodexBarProviderUsage::ExtraRateWindow {
        "opus", QStringLiteral("Opus"), { 75, now.addSecs(600), std::nullopt } } };
    usage::CodexBarProviderUsage zai;
    zai.providerID = QStringLiteral("zai");
    zai.plan = QString();

    EXPECT_EQ(UsageHeader::tabLabel(claude), QStringLiteral("Claude Max"));
    EXPECT_EQ(UsageHeader::tabLabel(zai), QStringLiteral("Z.AI"));
    EXPECT_EQ(UsageHeader::safeIndex(5, 2), 1);
    EXPECT_EQ(UsageHeader::safeIndex(-1, 2), 0);

    const auto lines = UsageHeader::metricLines(claude, now);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].label, QStringLiteral("5h:"));
    EXPECT_EQ(lines[1].label, QStringLiteral("7d:"));
    EXPECT_EQ(lines[1].reset, QStringLiteral("Mon"));
    EXPECT_EQ(lines[2].label, QStringLiteral("+Opus:"));
    EXPECT_EQ(lines[2].reset, QStringLiteral("resets in 10m"));

    EXPECT_EQ(UsageHeader::lastUpdatedText(std::nullopt), QStringLiteral("Last Updated: \u2014"));
    const QDateTime local(QDate(2026, 3, 7), QTime(9, 5));
    EXPECT_EQ(UsageHeader::lastUpdatedText(local), QStringLiteral("Last Updated: 0307-09:05"));
}

// The usage tool gives the plan in the account's identity, at the top of the usage, or in both: the tab names it
// wherever it came.
TEST(UsageHeaderTest, TheTabNamesThePlanWhereverTheUsageToolGaveIt)
{
    const struct {
        const char* where;
        QByteArray usage;
    } cases[] = {
        { "identity only", R"({"identity":{"providerID":"codex","loginMethod":"pro"}})" },
        { "top only", R"({"identity":{"providerID":"codex"},"loginMethod":"pro"})" },
        { "no identity", R"({"loginMethod":"pro"})" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const auto rows = usage::CodexBarOutputParser::parse(R"([{"provider":"codex","usage":)" + c.usage + "}]");
        ASSERT_TRUE(rows && rows->size() == 1);
        EXPECT_EQ(UsageHeader::tabLabel(rows->front()).toStdString(), "Codex pro");
    }
}
