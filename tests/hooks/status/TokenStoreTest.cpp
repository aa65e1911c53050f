#include "main/hooks/status/TokenStore.h"

#include <limits>
#include <memory>

#include <QDate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

namespace murmeli::hooks {
namespace {

const QString cumulativeKey = QString::fromLatin1(TokenStore::cumulativeKey);
const QString todayKey = QString::fromLatin1(TokenStore::todayKey);
const QString todayDateKey = QString::fromLatin1(TokenStore::todayDateKey);

// Local noon, so that no time zone moves the day.
QDateTime localNoon(const QString& date)
{
    return QDateTime(QDate::fromString(date, Qt::ISODate), QTime(12, 0));
}

class TokenStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void store(const QString& key, const QJsonValue& value) { ASSERT_TRUE(m_defaults->setValue(key, value)); }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("defaults.json"));
    std::unique_ptr<platform::Defaults> m_defaults = std::make_unique<platform::Defaults>(m_path);
    std::shared_ptr<test::FakeClock> m_day = std::make_shared<test::FakeClock>(localNoon(QStringLiteral("2025-03-14")));
};

TEST_F(TokenStoreTest, DayCountStartsAgainWhenTheDateChanges)
{
    store(cumulativeKey, qint64(900));
    store(todayKey, qint64(42));
    store(todayDateKey, QStringLiteral("2025-03-13"));

    TokenStore tokens(*m_defaults, m_day);
    // Checked in the defaults directly: construction alone must have rolled over.
    EXPECT_EQ(m_defaults->intValue(todayKey), 0);
    EXPECT_EQ(m_defaults->stringValue(todayDateKey), QStringLiteral("2025-03-14"));
    EXPECT_EQ(tokens.cumulative(), 900);

    tokens.addTokens(7);
    EXPECT_EQ(tokens.today(), 7);

    m_day->setNow(localNoon(QStringLiteral("2025-03-15")));
    EXPECT_EQ(tokens.todayDate(), QStringLiteral("2025-03-14")); // reading the day key does not roll over
    tokens.addTokens(5); // adding does
    EXPECT_EQ(tokens.todayDate(), QStringLiteral("2025-03-15"));
    EXPECT_EQ(tokens.today(), 5);
    EXPECT_EQ(tokens.cumulative(), 912);

    m_day->setNow(localNoon(QStringLiteral("2025-03-16")));
    EXPECT_EQ(tokens.today(), 0);
}

TEST_F(TokenStoreTest, CountsBelowOneAreIgnoredWithoutRollingOver)
{
    TokenStore tokens(*m_defaults, m_day);
    tokens.addTokens(42);
    m_day->setNow(localNoon(QStringLiteral("2025-03-15")));
    tokens.addTokens(0);
    tokens.addTokens(-5);
    EXPECT_EQ(m_defaults->stringValue(todayDateKey), QStringLiteral("2025-03-14"));
    EXPECT_EQ(m_defaults->intValue(todayKey), 42);
    EXPECT_EQ(tokens.cumulative(), 42);
}

TEST_F(TokenStoreTest, CountersSaturateAndForeignValuesReadAsNone)
{
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    store(cumulativeKey, top - 5);
    store(todayKey, QStringLiteral("12"));
    store(todayDateKey, QStringLiteral("2025-03-14"));
    TokenStore tokens(*m_defaults, m_day);
    EXPECT_EQ(tokens.today(), 0);

    tokens.addTokens(10);
    EXPECT_EQ(tokens.cumulative(), top);
    EXPECT_EQ(tokens.today(), 10);

    store(cumulativeKey, 1.5);
    EXPECT_EQ(tokens.cumulative(), 0);
    store(cumulativeKey, qint64(-50));
    tokens.addTokens(4);
    EXPECT_EQ(tokens.cumulative(), 4);

    store(todayDateKey, 20250314);
    EXPECT_EQ(tokens.todayDate(), QString());
    EXPECT_EQ(tokens.today(), 0);
}

TEST_F(TokenStoreTest, SessionsCountOnlyGrowthAfterTheirFirstReport)
{
    TokenStore tokens(*m_defaults, m_day);
    const auto addedBy = [&tokens](const QString& session, qint64 total) {
        const qint64 before = tokens.cumulative();
        tokens.recordSessionSnapshot(session, total);
        return tokens.cumulative() - before;
    };
    const QString a = QStringLiteral("a");
    const QString b = QStringLiteral("b");

    EXPECT_EQ(addedBy(a, 100), 0);
    EXPECT_EQ(addedBy(a, 250), 150);
    EXPECT_EQ(addedBy(a, 250), 0);

    EXPECT_EQ(addedBy(b, 500), 0);
    EXPECT_EQ(addedBy(b, 300), 0); // a falling total keeps the higher baseline
    EXPECT_EQ(addedBy(b, 600), 100);

    EXPECT_EQ(addedBy(QString(), 100), 0);
    EXPECT_EQ(addedBy(QString(), 400), 0);
    EXPECT_EQ(addedBy(QStringLiteral("c"), -10), 0); // must not become a baseline
    EXPECT_EQ(addedBy(QStringLiteral("c"), 100), 0);
    EXPECT_EQ(addedBy(a, -1), 0);
    EXPECT_EQ(addedBy(a, 260), 10);
    EXPECT_EQ(tokens.today(), 260);
}

TEST_F(TokenStoreTest, ResetRemovesTheKeysAndForgetsBaselines)
{
    TokenStore tokens(*m_defaults, m_day);
    tokens.recordSessionSnapshot(QStringLiteral("s"), 100);
    tokens.recordSessionSnapshot(QStringLiteral("s"), 160);
    ASSERT_EQ(tokens.cumulative(), 60);

    tokens.reset();
    EXPECT_FALSE(m_defaults->contains(cumulativeKey));
    EXPECT_FALSE(m_defaults->contains(todayKey));
    EXPECT_FALSE(m_defaults->contains(todayDateKey));
    tokens.recordSessionSnapshot(QStringLiteral("s"), 400);
    EXPECT_EQ(tokens.cumulative(), 0);
}

TEST_F(TokenStoreTest, CountersPersistButBaselinesDoNot)
{
    {
        TokenStore tokens(*m_defaults, m_day);
        tokens.recordSessionSnapshot(QStringLiteral("s"), 100);
        tokens.recordSessionSnapshot(QStringLiteral("s"), 350);
    }
    m_defaults.reset();

    platform::Defaults reopened(m_path);
    ASSERT_TRUE(reopened.loadError().isEmpty());
    TokenStore tokens(reopened, m_day);
    EXPECT_EQ(tokens.cumulative(), 250);
    EXPECT_EQ(tokens.today(), 250);
    tokens.recordSessionSnapshot(QStringLiteral("s"), 500);
    EXPECT_EQ(tokens.cumulative(), 250);
}

TEST_F(TokenStoreTest, DefaultClockNamesTheLocalDay)
{
    TokenStore tokens(*m_defaults, nullptr);
    const QDate stored = QDate::fromString(tokens.todayDate(), QStringLiteral("yyyy-MM-dd"));
    ASSERT_TRUE(stored.isValid()) << tokens.todayDate().toStdString();
    EXPECT_LE(qAbs(stored.daysTo(QDate::currentDate())), 1); // a run may cross midnight
}

TEST(TokenStoreFormat, TruncatesIntoShortDeviceText)
{
    const std::pair<qint64, const char*> cases[]
        = { { -3, "0" }, { 999, "999" }, { 1'000, "1.0k" }, { 1'999, "1.9k" }, { 9'999, "9.9k" }, { 10'000, "10k" },
              { 10'500, "10k" }, { 999'999, "999k" }, { 1'000'000, "1.0M" }, { 1'950'000, "1.9M" },
              { 9'999'999, "9.9M" }, { 12'345'678, "12M" }, { std::numeric_limits<qint64>::max(), "9223372036854M" } };
    for (const auto& [count, text] : cases) {
        EXPECT_EQ(TokenStore::formatTokensDisplay(count), QString::fromLatin1(text)) << count;
    }
}

} // namespace
} // namespace murmeli::hooks
