#include "main/common/Log.h"

#include <set>

#include <gtest/gtest.h>

namespace murmeli::common {
namespace {

TEST(Log, LineCarriesTimeLevelAndMessage)
{
    const QDateTime when(QDate(2031, 4, 5), QTime(6, 7, 8, 9));
    const QString line = formatLogLine(when, QStringLiteral("hook server listening"), LogColor::Orange);
    EXPECT_TRUE(line.startsWith(QStringLiteral("2031-04-05 06:07:08.009 "))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("warn"))) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral("hook server listening"))) << line.toStdString();
}

TEST(Log, EveryColourHasItsOwnLevelWord)
{
    const LogColor colors[]
        = { LogColor::Grey, LogColor::Blue, LogColor::Orange, LogColor::Red, LogColor::Purple, LogColor::Green };
    std::set<QString> words;
    for (const LogColor color : colors) {
        const QString word = toString(color);
        EXPECT_FALSE(word.isEmpty());
        words.insert(word);
        EXPECT_TRUE(formatLogLine(QDateTime::currentDateTime(), QStringLiteral("m"), color).contains(word));
    }
    EXPECT_EQ(words.size(), std::size(colors));
}

} // namespace
} // namespace murmeli::common
