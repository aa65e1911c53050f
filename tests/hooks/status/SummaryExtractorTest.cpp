#include "main/hooks/status/SummaryExtractor.h"

#include <optional>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>

namespace murmeli::hooks {
namespace {

namespace se = SummaryExtractor;

const QString gear = QString(QChar(0x2699)) + QLatin1Char(' ');
const QString euro(QChar(0x20AC)); // three bytes
const QString grin = QString::fromUcs4(U"\U0001F600"); // four bytes, two UTF-16 units

QJsonObject block(const char* type, const char* field, const QJsonValue& value)
{
    return QJsonObject { { QStringLiteral("type"), QString::fromLatin1(type) }, { QString::fromLatin1(field), value } };
}

TEST(SummaryExtractorTruncate, CutsBetweenCharactersNeverInsideOne)
{
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), 0), QString());
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), -4), QString());
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), 3), QStringLiteral("abc"));
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("a") + euro, 3), QStringLiteral("a"));
    EXPECT_EQ(se::truncateUtf8Bytes(grin.repeated(21), 80), grin.repeated(20));
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("a").repeated(79) + grin, 80), QStringLiteral("a").repeated(79));
    // A letter goes with its accent: alone it would be another letter.
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("ae\u0301"), 2), QStringLiteral("a"));
}

TEST(SummaryExtractorText, TakesTheFirstVisibleLineTrimmedAndCut)
{
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("\n   \n\t \n  Reading  it\t\nsecond")),
        QStringLiteral("Reading  it"));
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("\r\n \r\nDone.\r\nMore")), QStringLiteral("Done."));
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("x").repeated(100)), QStringLiteral("x").repeated(80));
    EXPECT_EQ(se::extractSummaryFromPlainText(euro.repeated(30)), euro.repeated(26));
    EXPECT_EQ(se::extractSummaryFromPlainText(QString()), std::nullopt);
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("\n \t\n\r\n")), std::nullopt);
}

TEST(SummaryExtractorText, ToolSummaryPrefixesTheTrimmedName)
{
    const std::optional<QString> bash = se::toolSummary(QStringLiteral(" \t Bash\n"));
    ASSERT_TRUE(bash);
    EXPECT_EQ(*bash, gear + QStringLiteral("Bash"));
    EXPECT_TRUE(bash->toUtf8().startsWith("\xE2\x9A\x99 "));
    EXPECT_EQ(se::toolSummary(QStringLiteral("n").repeated(100)), gear + QStringLiteral("n").repeated(76));
    EXPECT_EQ(se::toolSummary(QStringLiteral(" \t\r\n ")), std::nullopt);
}

TEST(SummaryExtractorBlocks, TextWinsOverToolsWhereverItSits)
{
    const QJsonArray blocks { block("tool_use", "name", QStringLiteral("Read")),
        block("text", "text", QStringLiteral("\n  Looking at it\nmore")) };
    EXPECT_EQ(se::extractSummaryFromContentBlocks(blocks), QStringLiteral("Looking at it"));
}

TEST(SummaryExtractorBlocks, FallsBackToTheFirstNamedToolAndSkipsTheRest)
{
    const QJsonArray blocks { 42, QStringLiteral("text"), QJsonArray { block("text", "text", QStringLiteral("x")) },
        block("text", "text", QStringLiteral(" \n\t")), block("text", "text", 7),
        block("thinking", "text", QStringLiteral("hm")), block("tool_use", "name", QString()),
        block("tool_use", "name", 3), block("tool_use", "name", QStringLiteral("  Edit")),
        block("tool_use", "name", QStringLiteral("Write")) };
    // Names from blocks are used as they come, untrimmed.
    EXPECT_EQ(se::extractSummaryFromContentBlocks(blocks), gear + QStringLiteral("  Edit"));

    EXPECT_EQ(se::extractSummaryFromContentBlocks(QJsonArray()), std::nullopt);
    const QJsonArray unusable { QJsonValue(), block("text", "text", QString()), block("tool_use", "name", QString()) };
    EXPECT_EQ(se::extractSummaryFromContentBlocks(unusable), std::nullopt);
}

TEST(SummaryExtractorPayload, SeparatorsAreTakenOutOfEveryPart)
{
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("status"), QString(), std::nullopt), QStringLiteral("status"));
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("st,at|us\n"), QStringLiteral("a,b|c\r\nd"), std::nullopt),
        QStringLiteral("status,abcd"));
    EXPECT_EQ(
        se::buildEventPayload(QStringLiteral("stop"), QStringLiteral(",|\n"), std::nullopt), QStringLiteral("stop"));
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QStringLiteral("Bash"), QStringLiteral("ls, then|cat\n")),
        QStringLiteral("tool,Bash|ls, thencat"));
    EXPECT_EQ(se::buildEventPayload(
                  QStringLiteral("t"), QString(), QStringLiteral("|").repeated(10) + QStringLiteral("s").repeated(85)),
        QStringLiteral("t|") + QStringLiteral("s").repeated(80));
}

TEST(SummaryExtractorPayload, EmptySummariesLeaveNoBar)
{
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QStringLiteral("x"), QString()), QStringLiteral("tool,x"));
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QStringLiteral("x"), QStringLiteral("\r\n||\n")),
        QStringLiteral("tool,x"));
}

} // namespace
} // namespace murmeli::hooks
