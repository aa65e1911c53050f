#include "main/device/lines/HostLines.h"

#include <gtest/gtest.h>

#include "main/device/lines/DeviceText.h"

using namespace murmeli::device;

TEST(HostLinesTest, TimeSyncCarriesUnixSecondsAndTheZoneOffset)
{
    const QDateTime at = QDateTime::fromSecsSinceEpoch(1'800'000'123, Qt::UTC);
    EXPECT_EQ(HostLines::timeSync(at, QTimeZone(-18000)), QStringLiteral("TS:1800000123:-18000"));
    EXPECT_EQ(HostLines::timeSync(at, QTimeZone::utc()), QStringLiteral("TS:1800000123:0"));
}

TEST(HostLinesTest, EventLines)
{
    struct Case {
        const char* type;
        const char* data;
        std::optional<QString> summary;
        const char* expected;
    };
    const Case cases[] = {
        { "a,b|c", "x", std::nullopt, "E:abc,x" },
        { "done", "", std::nullopt, "E:done" },
        { "done", "", QString(), "E:done" },
        { "prompt", "", QStringLiteral("fix the | parser,\r\nnow"), "E:prompt|fix the  parser,now" },
        { "agent", "", QString(100, QLatin1Char('a')), nullptr },
    };
    for (const Case& c : cases) {
        const QString line = HostLines::event(QString::fromUtf8(c.type), QString::fromUtf8(c.data), c.summary);
        if (c.expected) {
            EXPECT_EQ(line, QString::fromUtf8(c.expected)) << c.type;
        } else {
            EXPECT_EQ(line, QStringLiteral("E:agent|") + QString(80, QLatin1Char('a')));
        }
    }
}

TEST(DeviceTextTest, SeparatorsBecomeSpacesBeforeTheCut)
{
    EXPECT_EQ(DeviceText::clean(QStringLiteral("a,b|c\nd\re\u2028f\u0085g")), QStringLiteral("a b c d e f g"));
    EXPECT_EQ(DeviceText::clean(QStringLiteral("id:1"), u":"), QStringLiteral("id 1"));
    EXPECT_EQ(DeviceText::clean(QStringLiteral("id:1")), QStringLiteral("id:1"));
    // The separator counts as one character, so the cut sees the cleaned text.
    EXPECT_EQ(DeviceText::cleanAndCut(QStringLiteral("ab,\ncdef"), 5), QStringLiteral("ab  c"));
    EXPECT_EQ(DeviceText::cleanAndCutWithEllipsis(QStringLiteral("abcdef"), 4), QStringLiteral("abc\u2026"));
    EXPECT_EQ(DeviceText::cleanAndCutWithEllipsis(QStringLiteral("abcd"), 4), QStringLiteral("abcd"));
    // Grapheme clusters are never split: a flag is one character.
    EXPECT_EQ(
        DeviceText::cleanAndCut(QStringLiteral("\U0001F1E9\U0001F1EAxy"), 2), QStringLiteral("\U0001F1E9\U0001F1EAx"));
}
