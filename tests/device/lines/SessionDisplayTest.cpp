#include "main/device/lines/SessionDisplay.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace murmeli::device {
namespace {

using hooks::ClaudeStatus;

constexpr qint64 now = 1'800'000'000;

std::string led(const ClaudeStatus& status, qint64 at = now)
{
    return (SessionDisplay::ledColor(status, at) + QLatin1Char(' ') + SessionDisplay::ledMode(status, at))
        .toStdString();
}

// The fields after "D:", split the way the device splits them.
QStringList fields(const QString& line)
{
    EXPECT_TRUE(line.startsWith(QLatin1String("D:"))) << line.toStdString();
    return line.mid(2).split(QLatin1Char(','));
}

ClaudeStatus withContext(int percent)
{
    ClaudeStatus status;
    status.contextPercent = percent;
    status.lastStatusTs = now - 60;
    return status;
}

TEST(SessionDisplayLedTest, ContextColourBandsWhenQuiet)
{
    EXPECT_EQ(led(withContext(91)), "red k");
    EXPECT_EQ(led(withContext(90)), "orange s");
    EXPECT_EQ(led(withContext(76)), "orange s");
    EXPECT_EQ(led(withContext(75)), "yellow s");
    EXPECT_EQ(led(withContext(51)), "yellow s");
    EXPECT_EQ(led(withContext(50)), "green s");
    EXPECT_EQ(led(withContext(-20)), "green s");
}

TEST(SessionDisplayLedTest, AttentionOutranksIdleAndBusy)
{
    ClaudeStatus status;
    status.needsAttention = true;
    status.isIdle = true;
    status.activity = QStringLiteral("Editing");
    EXPECT_EQ(led(status), "red k");

    ClaudeStatus full = withContext(95);
    full.isIdle = true;
    EXPECT_EQ(led(full), "red k");
}

TEST(SessionDisplayLedTest, IdleOutranksActivityAndContext)
{
    ClaudeStatus status = withContext(80);
    status.isIdle = true;
    status.activity = QStringLiteral("Editing");
    status.lastStatusTs = now;
    EXPECT_EQ(led(status), "green s");
}

TEST(SessionDisplayLedTest, BusySignalsOutrankContextColour)
{
    ClaudeStatus active = withContext(80);
    active.activity = QStringLiteral("Reading");
    EXPECT_EQ(led(active), "blue b");

    ClaudeStatus signalled = withContext(60);
    signalled.isWorkingSignal = true;
    EXPECT_EQ(led(signalled), "blue b");
}

TEST(SessionDisplayLedTest, StatusFileFreshForTenSeconds)
{
    ClaudeStatus status = withContext(60);
    status.lastStatusTs = now - 9;
    EXPECT_EQ(led(status), "blue b");
    status.lastStatusTs = now - 10;
    EXPECT_EQ(led(status), "yellow s");

    // A zero timestamp means no status file time, not one from 1970 that a small clock would call fresh.
    status.lastStatusTs = 0;
    EXPECT_EQ(led(status, 5), "yellow s");
}

TEST(SessionDisplayAgentsTest, ClampsBothCounts)
{
    EXPECT_EQ(SessionDisplay::formatAgentsField(-3, 1500), QStringLiteral("{0/999}"));
    EXPECT_EQ(SessionDisplay::formatAgentsField(999, 0), QStringLiteral("{999/0}"));
    EXPECT_EQ(SessionDisplay::formatAgentsField(1000, -1), QStringLiteral("{999/0}"));
    EXPECT_EQ(SessionDisplay::formatAgentsField(7, 12), QStringLiteral("{7/12}"));
}

TEST(SessionDisplayLineTest, DefaultStatusAndArguments)
{
    EXPECT_EQ(SessionDisplay::oledCommand(ClaudeStatus()), QStringLiteral("D:0,0,0,$0.00,0,0,0,Working,,,,{0/0},,0,0"));
}

TEST(SessionDisplayLineTest, EveryFieldInItsPlace)
{
    ClaudeStatus status;
    status.contextPercent = 42;
    status.rate5h = 17;
    status.rate7d = 3;
    status.costUSD = 1.5;
    status.totalDurationMs = 125'000;
    status.linesAdded = 88;
    status.linesRemoved = 9;
    status.activity = QStringLiteral("Edit main.cpp");
    EXPECT_EQ(SessionDisplay::oledCommand(status, QStringLiteral("codex"), QStringLiteral("fix-login"), 2, 1,
                  QStringLiteral("1/4 tests"), 1234, 99),
        QStringLiteral("D:42,17,3,$1.50,125,88,9,Working,Edit main.cpp,codex,fix-login,{2/1},1/4 tests,1234,99"));
}

TEST(SessionDisplayLineTest, NumbersKeepSignsExceptTokens)
{
    ClaudeStatus status;
    status.contextPercent = -1;
    status.rate5h = -2;
    status.rate7d = -3;
    status.costUSD = 12.345678;
    status.totalDurationMs = -1999;
    status.linesAdded = -4;
    status.linesRemoved = -5;
    const QStringList f = fields(SessionDisplay::oledCommand(status, {}, {}, 0, 0, {}, -5, -1));
    ASSERT_EQ(f.size(), 15);
    EXPECT_EQ(f.mid(0, 7).join(QLatin1Char(',')), QStringLiteral("-1,-2,-3,$12.35,-1,-4,-5"));
    EXPECT_EQ(f[13], QStringLiteral("0"));
    EXPECT_EQ(f[14], QStringLiteral("0"));
}

TEST(SessionDisplayLineTest, DurationTruncatesTowardZero)
{
    ClaudeStatus status;
    status.totalDurationMs = 1999;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[4], QStringLiteral("1"));
    status.totalDurationMs = 999;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[4], QStringLiteral("0"));
}

TEST(SessionDisplayLineTest, CostRoundsToTwoDecimals)
{
    ClaudeStatus status;
    status.costUSD = 0.005001;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[3], QStringLiteral("$0.01"));
    status.costUSD = 1234567.891;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[3], QStringLiteral("$1234567.89"));
    // An exact tie goes to the even digit, as "%.2f" does; half-up rounding would show 0.13.
    status.costUSD = 0.125;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[3], QStringLiteral("$0.12"));
    status.costUSD = 1e20;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[3], QStringLiteral("$100000000000000000000.00"));
}

TEST(SessionDisplayLineTest, StateWordIgnoresFreshness)
{
    ClaudeStatus status;
    status.needsAttention = true;
    status.isIdle = true;
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[7], QStringLiteral("APPROVE"));

    status.needsAttention = false;
    status.activity = QStringLiteral("Reading");
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[7], QStringLiteral("Idle"));

    // Stale and silent, yet neither idle nor waiting: still shown as working.
    ClaudeStatus quiet = withContext(10);
    EXPECT_EQ(fields(SessionDisplay::oledCommand(quiet))[7], QStringLiteral("Working"));
}

TEST(SessionDisplayLineTest, TextFieldsCutToTheirWidths)
{
    ClaudeStatus status;
    status.activity = QStringLiteral("0123456789").repeated(6);
    const QStringList f = fields(SessionDisplay::oledCommand(status, QStringLiteral("claude-code"),
        QStringLiteral("abcdefghijklmnopqrstuvwxyz"), 0, 0, QStringLiteral("ABCDEFGHIJ").repeated(3)));
    ASSERT_EQ(f.size(), 15);
    EXPECT_EQ(f[8], QStringLiteral("0123456789").repeated(4));
    EXPECT_EQ(f[9], QStringLiteral("claude-c"));
    EXPECT_EQ(f[10], QStringLiteral("abcdefghijklmnop"));
    EXPECT_EQ(f[12], QStringLiteral("ABCDEFGHIJ").repeated(2));
}

TEST(SessionDisplayLineTest, CutsCountCharactersNotCodeUnits)
{
    const QString accented = QStringLiteral("e\u0301"); // two code points, one character
    const QString family
        = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // five code points joined into one character
    ClaudeStatus status;
    const QStringList f = fields(SessionDisplay::oledCommand(status, accented.repeated(10), family.repeated(20)));
    EXPECT_EQ(f[9], accented.repeated(8));
    EXPECT_EQ(f[10], family.repeated(16));
}

// An activity of exactly 40 characters and a todo of exactly 20 show whether the shorter cut was taken.
class ClaudeStatusDeviceLengthTest : public ::testing::Test {
protected:
    QString line(qint64 tokens) const
    {
        ClaudeStatus status;
        status.activity = QString(40, QLatin1Char('a'));
        // 16 four-byte characters make the byte length differ from both the character and code-unit counts.
        return SessionDisplay::oledCommand(status, QStringLiteral("tool-abc"),
            QStringLiteral("\U0001F600").repeated(16), 0, 0, QString(20, QLatin1Char('t')), tokens);
    }
};

TEST_F(ClaudeStatusDeviceLengthTest, LineOf180BytesIsKept)
{
    const QString kept = line(10'000'000);
    ASSERT_EQ(kept.toUtf8().size(), 180);
    EXPECT_EQ(fields(kept)[8], QString(40, QLatin1Char('a')));
    EXPECT_EQ(fields(kept)[12], QString(20, QLatin1Char('t')));
}

TEST_F(ClaudeStatusDeviceLengthTest, LineOf181BytesShortensActivityAndTodoOnly)
{
    const QString cut = line(100'000'000);
    const QStringList f = fields(cut);
    ASSERT_EQ(f.size(), 15);
    EXPECT_EQ(f[8], QString(20, QLatin1Char('a')));
    EXPECT_EQ(f[12], QString(10, QLatin1Char('t')));
    EXPECT_EQ(f[9], QStringLiteral("tool-abc"));
    EXPECT_EQ(f[10], QStringLiteral("\U0001F600").repeated(16));
    EXPECT_EQ(f[13], QStringLiteral("100000000"));
    EXPECT_EQ(cut.toUtf8().size(), 181 - 30);
}

TEST_F(ClaudeStatusDeviceLengthTest, SecondLineIsReturnedEvenWhenStillLong)
{
    ClaudeStatus status;
    status.costUSD = 1e200;
    status.activity = QString(60, QLatin1Char('a'));
    const QStringList f = fields(SessionDisplay::oledCommand(status, {}, {}, 0, 0, QString(30, QLatin1Char('t'))));
    EXPECT_EQ(f[8], QString(20, QLatin1Char('a')));
    EXPECT_EQ(f[12], QString(10, QLatin1Char('t')));
}

TEST(SessionDisplaySeparatorTest, AgentTextCannotAddFieldsOrLines)
{
    ClaudeStatus status;
    status.activity = QStringLiteral("a,b|c\nd\re");
    const QString line = SessionDisplay::oledCommand(
        status, QStringLiteral("x\u2028y"), QStringLiteral("s\u2029n,D:9"), 1, 2, QStringLiteral("1/2\u0085|,"));
    EXPECT_EQ(line, QStringLiteral("D:0,0,0,$0.00,0,0,0,Working,abcde,xy,snD:9,{1/2},1/2,0,0"));
}

TEST(SessionDisplaySeparatorTest, CleaningComesBeforeTheCut)
{
    ClaudeStatus status;
    status.activity = QString(50, QLatin1Char(',')) + QStringLiteral("visible");
    const QStringList f = fields(SessionDisplay::oledCommand(
        status, QStringLiteral("||||||||||codex"), {}, 0, 0, QString(25, QLatin1Char('\n')) + QStringLiteral("3/5")));
    ASSERT_EQ(f.size(), 15);
    EXPECT_EQ(f[8], QStringLiteral("visible"));
    EXPECT_EQ(f[9], QStringLiteral("codex"));
    EXPECT_EQ(f[12], QStringLiteral("3/5"));
}

TEST(SessionDisplaySeparatorTest, OtherPunctuationAndTabsStay)
{
    ClaudeStatus status;
    status.activity = QStringLiteral("a;b:c\td{e}/f");
    EXPECT_EQ(fields(SessionDisplay::oledCommand(status))[8], QStringLiteral("a;b:c\td{e}/f"));
}

} // namespace
} // namespace murmeli::device
