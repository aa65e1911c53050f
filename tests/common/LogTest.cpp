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

TEST(Log, ControlCharactersInMessagesAreWrittenAsVisibleEscapes)
{
    const struct {
        QString message;
        QString shown;
    } cases[] = {
        { QStringLiteral("plain text, ümlaut, 漂移"), QStringLiteral("plain text, ümlaut, 漂移") },
        { QStringLiteral("ok\n2031-04-05 06:07:08.009 error forged"),
            QStringLiteral("ok\\n2031-04-05 06:07:08.009 error forged") },
        { QStringLiteral("a\r\tb"), QStringLiteral("a\\r\\tb") },
        { QStringLiteral("\x1b[2Jred"), QStringLiteral("\\x1b[2Jred") },
        { QString(QChar(0)) + QStringLiteral("\x7f"), QStringLiteral("\\x00\\x7f") },
        { QStringLiteral("\u009b31m \u0085"), QStringLiteral("\\u009b31m \\u0085") },
        { QStringLiteral("a\u2028b\u2029c"), QStringLiteral("a\\u2028b\\u2029c") },
        { QStringLiteral("read_\u202Etxt.exe\u2066\u200B"), QStringLiteral("read_\\u202etxt.exe\\u2066\\u200b") },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escapeLogText(c.message), c.shown) << c.shown.toStdString();
        EXPECT_TRUE(formatLogLine(QDateTime::currentDateTime(), c.message, LogColor::Grey).endsWith(c.shown));
    }
}

} // namespace
} // namespace murmeli::common
