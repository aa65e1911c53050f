#include "main/hooks/SummaryExtractor.h"

#include <optional>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>

namespace murmeli::hooks {
namespace {

namespace se = SummaryExtractor;

const QString gear = QString(QChar(0x2699)) + QLatin1Char(' ');

QJsonObject textBlock(const QJsonValue& text)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("text") }, { QStringLiteral("text"), text } };
}

QJsonObject toolBlock(const QJsonValue& name)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("tool_use") }, { QStringLiteral("name"), name } };
}

TEST(SummaryExtractorTruncate, CutsBetweenScalarsNeverInsideOne)
{
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), 0), QString());
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), -4), QString());
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), 3), QStringLiteral("abc"));
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("abc"), 2), QStringLiteral("ab"));

    const QString euro(QChar(0x20AC)); // three bytes
    EXPECT_EQ(se::truncateUtf8Bytes(euro.repeated(30), 80), euro.repeated(26));
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("a") + euro, 3), QStringLiteral("a"));

    const QString grin = QString::fromUcs4(U"\U0001F600"); // four bytes, two UTF-16 units
    EXPECT_EQ(se::truncateUtf8Bytes(grin.repeated(21), 80), grin.repeated(20));
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("a").repeated(79) + grin, 80), QStringLiteral("a").repeated(79));

    // A combining accent is its own scalar, so it is what gets dropped.
    EXPECT_EQ(se::truncateUtf8Bytes(QStringLiteral("e\u0301"), 2), QStringLiteral("e"));
}

TEST(SummaryExtractorPlainText, TakesTheFirstVisibleLineTrimmed)
{
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("\n   \n\t \n  Reading the file\t\nsecond")),
        QStringLiteral("Reading the file"));
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("\r\n \r\nDone.\r\nMore")), QStringLiteral("Done."));
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("  two  spaces  ")), QStringLiteral("two  spaces"));
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("last line without break")),
        QStringLiteral("last line without break"));

    EXPECT_EQ(se::extractSummaryFromPlainText(QString()), std::nullopt);
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("\n \t\n\r\n")), std::nullopt);
}

TEST(SummaryExtractorPlainText, LongLinesAreCutToTheByteLimit)
{
    EXPECT_EQ(se::extractSummaryFromPlainText(QStringLiteral("x").repeated(100)), QStringLiteral("x").repeated(80));
    const QString euro(QChar(0x20AC));
    const std::optional<QString> cut = se::extractSummaryFromPlainText(euro.repeated(30));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->toUtf8().size(), 78);
    EXPECT_EQ(*cut, euro.repeated(26));
}

TEST(SummaryExtractorTool, PrefixesTheTrimmedName)
{
    const std::optional<QString> bash = se::toolSummary(QStringLiteral(" \t Bash\n"));
    ASSERT_TRUE(bash);
    EXPECT_EQ(*bash, gear + QStringLiteral("Bash"));
    EXPECT_TRUE(bash->toUtf8().startsWith("\xE2\x9A\x99 "));

    const std::optional<QString> longName = se::toolSummary(QStringLiteral("n").repeated(100));
    ASSERT_TRUE(longName);
    EXPECT_EQ(*longName, gear + QStringLiteral("n").repeated(76));

    EXPECT_EQ(se::toolSummary(QString()), std::nullopt);
    EXPECT_EQ(se::toolSummary(QStringLiteral(" \t\r\n ")), std::nullopt);
}

TEST(SummaryExtractorBlocks, TextWinsOverToolsWhereverItSits)
{
    const QJsonArray blocks { toolBlock(QStringLiteral("Read")), textBlock(QStringLiteral("\n  Looking at it\nmore")) };
    EXPECT_EQ(se::extractSummaryFromContentBlocks(blocks), QStringLiteral("Looking at it"));

    const QJsonArray longText { textBlock(QStringLiteral("y").repeated(90)) };
    EXPECT_EQ(se::extractSummaryFromContentBlocks(longText), QStringLiteral("y").repeated(80));
}

TEST(SummaryExtractorBlocks, FallsBackToTheFirstNamedTool)
{
    const QJsonArray blocks {
        42,
        QStringLiteral("text"),
        QJsonArray { textBlock(QStringLiteral("nested")) },
        textBlock(QStringLiteral(" \n\t")),
        textBlock(7),
        QJsonObject {
            { QStringLiteral("type"), QStringLiteral("thinking") }, { QStringLiteral("text"), QStringLiteral("hm") } },
        toolBlock(QString()),
        toolBlock(3),
        toolBlock(QStringLiteral("  Edit")),
        toolBlock(QStringLiteral("Write")),
    };
    // The tool name from a block is used as it is, untrimmed.
    EXPECT_EQ(se::extractSummaryFromContentBlocks(blocks), gear + QStringLiteral("  Edit"));
}

TEST(SummaryExtractorBlocks, NothingUsableGivesNoSummary)
{
    EXPECT_EQ(se::extractSummaryFromContentBlocks(QJsonArray()), std::nullopt);
    const QJsonArray blocks { QJsonValue(), textBlock(QString()), toolBlock(QString()),
        QJsonObject { { QStringLiteral("name"), QStringLiteral("Bash") } } };
    EXPECT_EQ(se::extractSummaryFromContentBlocks(blocks), std::nullopt);
}

TEST(SummaryExtractorPayload, SeparatorsAreTakenOutOfEveryPart)
{
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("status"), QString(), std::nullopt), QStringLiteral("status"));
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("st,at|us\n"), QStringLiteral("a,b|c\r\nd"), std::nullopt),
        QStringLiteral("status,abcd"));
    // Data made only of separators counts as none, so no comma follows the type.
    EXPECT_EQ(
        se::buildEventPayload(QStringLiteral("stop"), QStringLiteral(",|\n"), std::nullopt), QStringLiteral("stop"));

    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QStringLiteral("Bash"), QStringLiteral("ls, then|cat\n")),
        QStringLiteral("tool,Bash|ls, thencat"));
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QString(), QStringLiteral("short")),
        QStringLiteral("tool|short"));
}

TEST(SummaryExtractorPayload, EmptySummariesLeaveNoBar)
{
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QStringLiteral("x"), QString()), QStringLiteral("tool,x"));
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("tool"), QStringLiteral("x"), QStringLiteral("\r\n||\n")),
        QStringLiteral("tool,x"));
}

TEST(SummaryExtractorPayload, SummaryIsCutAfterCleaning)
{
    const QString summary = QStringLiteral("|").repeated(10) + QStringLiteral("s").repeated(85);
    EXPECT_EQ(se::buildEventPayload(QStringLiteral("t"), QString(), summary),
        QStringLiteral("t|") + QStringLiteral("s").repeated(80));
}

} // namespace
} // namespace murmeli::hooks
