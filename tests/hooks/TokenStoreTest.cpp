#include "main/hooks/TokenStore.h"

#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include <QDate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::hooks {
namespace {

const QString cumulativeKey = QString::fromLatin1(TokenStore::cumulativeKey);
const QString todayKey = QString::fromLatin1(TokenStore::todayKey);
const QString todayDateKey = QString::fromLatin1(TokenStore::todayDateKey);

class FakeDay final : public TokenStore::Clock {
public:
    QString currentDateString() const override { return m_date; }
    void setDate(const QString& date) { m_date = date; }

private:
    QString m_date = QStringLiteral("2025-03-14");
};

class TokenStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_defaults = std::make_unique<platform::Defaults>(filePath());
    }

    QString filePath() const { return m_dir.filePath(QStringLiteral("defaults.json")); }

    std::unique_ptr<TokenStore> makeStore() { return std::make_unique<TokenStore>(*m_defaults, m_day); }

    QTemporaryDir m_dir;
    std::unique_ptr<platform::Defaults> m_defaults;
    std::shared_ptr<FakeDay> m_day = std::make_shared<FakeDay>();
};

TEST_F(TokenStoreTest, ConstructionOnANewDayClearsYesterdayBeforeAnythingIsRead)
{
    m_defaults->setValue(cumulativeKey, QJsonValue(qint64(900)));
    m_defaults->setValue(todayKey, QJsonValue(qint64(42)));
    m_defaults->setValue(todayDateKey, QStringLiteral("2025-03-13"));

    const auto store = makeStore();

    // Straight from the defaults, so no accessor's own rollover could have done it.
    EXPECT_EQ(m_defaults->intValue(todayKey), 0);
    EXPECT_EQ(m_defaults->stringValue(todayDateKey), QStringLiteral("2025-03-14"));
    EXPECT_EQ(m_defaults->intValue(cumulativeKey), 900);
}

TEST_F(TokenStoreTest, DayCountSurvivesTheSameDayAndRestartsOnTheNext)
{
    m_defaults->setValue(todayKey, QJsonValue(qint64(42)));
    m_defaults->setValue(todayDateKey, QStringLiteral("2025-03-14"));
    const auto store = makeStore();
    EXPECT_EQ(store->today(), 42);

    m_day->setDate(QStringLiteral("2025-03-15"));
    EXPECT_EQ(store->todayDate(), QStringLiteral("2025-03-14")); // reading the day key alone does not roll over
    EXPECT_EQ(store->today(), 0);
    EXPECT_EQ(store->todayDate(), QStringLiteral("2025-03-15"));

    // Adding on a later day rolls over by itself, without a read of today() first.
    store->addTokens(7);
    m_day->setDate(QStringLiteral("2025-03-16"));
    store->addTokens(5);
    EXPECT_EQ(store->todayDate(), QStringLiteral("2025-03-16"));
    EXPECT_EQ(store->today(), 5);
    EXPECT_EQ(store->cumulative(), 12);
}

TEST_F(TokenStoreTest, AddsToBothCountersAndIgnoresCountsBelowOne)
{
    const auto store = makeStore();
    EXPECT_EQ(store->cumulative(), 0);
    EXPECT_EQ(store->today(), 0);

    store->addTokens(30);
    store->addTokens(12);
    EXPECT_EQ(store->cumulative(), 42);
    EXPECT_EQ(store->today(), 42);

    // Nothing to add means no rollover either: the stored day stays yesterday's.
    m_day->setDate(QStringLiteral("2025-03-15"));
    store->addTokens(0);
    store->addTokens(-5);
    EXPECT_EQ(m_defaults->stringValue(todayDateKey), QStringLiteral("2025-03-14"));
    EXPECT_EQ(m_defaults->intValue(todayKey), 42);
    EXPECT_EQ(store->cumulative(), 42);
}

TEST_F(TokenStoreTest, CountersStopAtTheLargestValueInsteadOfWrapping)
{
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    m_defaults->setValue(cumulativeKey, QJsonValue(top - 5));
    m_defaults->setValue(todayKey, QJsonValue(top - 1));
    m_defaults->setValue(todayDateKey, QStringLiteral("2025-03-14"));
    const auto store = makeStore();

    store->addTokens(10);
    EXPECT_EQ(store->cumulative(), top);
    EXPECT_EQ(store->today(), top);
    store->addTokens(top);
    EXPECT_EQ(store->cumulative(), top);
}

TEST_F(TokenStoreTest, StoredValuesOfTheWrongKindReadAsNone)
{
    m_defaults->setValue(cumulativeKey, QStringLiteral("12"));
    m_defaults->setValue(todayKey, 1.5);
    m_defaults->setValue(todayDateKey, QStringLiteral("2025-03-14"));
    const auto store = makeStore();
    EXPECT_EQ(store->cumulative(), 0);
    EXPECT_EQ(store->today(), 0);

    store->addTokens(3);
    EXPECT_EQ(store->cumulative(), 3);
    EXPECT_EQ(store->today(), 3);

    m_defaults->setValue(cumulativeKey, QJsonValue(qint64(-50)));
    EXPECT_EQ(store->cumulative(), 0);
    store->addTokens(4);
    EXPECT_EQ(store->cumulative(), 4);

    // A day key that is not a string is no day at all, so the count starts again.
    m_defaults->setValue(todayDateKey, 20250314);
    EXPECT_EQ(store->todayDate(), QString());
    EXPECT_EQ(store->today(), 0);
    EXPECT_EQ(store->todayDate(), QStringLiteral("2025-03-14"));
}

TEST_F(TokenStoreTest, SessionSnapshotsCountOnlyGrowthAfterTheFirstReport)
{
    const auto store = makeStore();
    const auto addedBy = [&store](const QString& session, qint64 total) {
        const qint64 before = store->cumulative();
        store->recordSessionSnapshot(session, total);
        return store->cumulative() - before;
    };
    const QString a = QStringLiteral("session-a");
    const QString b = QStringLiteral("session-b");

    EXPECT_EQ(addedBy(a, 100), 0);
    EXPECT_EQ(addedBy(a, 250), 150);
    EXPECT_EQ(addedBy(a, 250), 0);

    // A falling total keeps the higher baseline.
    EXPECT_EQ(addedBy(b, 500), 0);
    EXPECT_EQ(addedBy(b, 300), 0);
    EXPECT_EQ(addedBy(b, 600), 100);

    EXPECT_EQ(addedBy(a, 260), 10);
    EXPECT_EQ(store->today(), 260);
}

TEST_F(TokenStoreTest, EmptySessionIdsAndNegativeTotalsChangeNothing)
{
    const auto store = makeStore();
    const QString s = QStringLiteral("s");

    store->recordSessionSnapshot(QString(), 100);
    store->recordSessionSnapshot(QString(), 400);
    EXPECT_EQ(store->cumulative(), 0);

    // A negative total must not become a baseline either.
    store->recordSessionSnapshot(s, -10);
    store->recordSessionSnapshot(s, 100);
    EXPECT_EQ(store->cumulative(), 0);
    store->recordSessionSnapshot(s, -1);
    store->recordSessionSnapshot(s, 150);
    EXPECT_EQ(store->cumulative(), 50);
}

TEST_F(TokenStoreTest, ResetRemovesTheKeysAndForgetsBaselines)
{
    const auto store = makeStore();
    store->recordSessionSnapshot(QStringLiteral("s"), 100);
    store->recordSessionSnapshot(QStringLiteral("s"), 160);
    ASSERT_EQ(store->cumulative(), 60);

    store->reset();
    EXPECT_FALSE(m_defaults->contains(cumulativeKey));
    EXPECT_FALSE(m_defaults->contains(todayKey));
    EXPECT_FALSE(m_defaults->contains(todayDateKey));
    EXPECT_EQ(store->todayDate(), QString());

    // With the baseline gone the next report starts a fresh one instead of adding 240.
    store->recordSessionSnapshot(QStringLiteral("s"), 400);
    EXPECT_EQ(store->cumulative(), 0);
}

TEST_F(TokenStoreTest, CountersPersistButBaselinesDoNot)
{
    {
        const auto store = makeStore();
        store->recordSessionSnapshot(QStringLiteral("s"), 100);
        store->recordSessionSnapshot(QStringLiteral("s"), 350);
    }
    m_defaults.reset();

    platform::Defaults reopened(filePath());
    ASSERT_TRUE(reopened.loadError().isEmpty());
    TokenStore store(reopened, m_day);
    EXPECT_EQ(store.cumulative(), 250);
    EXPECT_EQ(store.today(), 250);
    EXPECT_EQ(store.todayDate(), QStringLiteral("2025-03-14"));

    store.recordSessionSnapshot(QStringLiteral("s"), 500);
    EXPECT_EQ(store.cumulative(), 250);
}

TEST_F(TokenStoreTest, SystemClockIsTheDefaultAndGivesTheLocalIsoDate)
{
    TokenStore store(*m_defaults);
    const QDate stored = QDate::fromString(store.todayDate(), QStringLiteral("yyyy-MM-dd"));
    ASSERT_TRUE(stored.isValid()) << store.todayDate().toStdString();
    // Tolerates a run that crosses midnight.
    EXPECT_LE(std::abs(stored.daysTo(QDate::currentDate())), 1);

    TokenStore withoutClock(*m_defaults, nullptr);
    withoutClock.addTokens(1);
    EXPECT_EQ(withoutClock.cumulative(), 1);
}

TEST(TokenStoreFormat, TruncatesIntoShortDeviceText)
{
    const std::vector<std::pair<qint64, const char*>> cases {
        { -3, "0" },
        { 0, "0" },
        { 999, "999" },
        { 1'000, "1.0k" },
        { 1'999, "1.9k" },
        { 9'999, "9.9k" },
        { 10'000, "10k" },
        { 10'500, "10k" },
        { 999'999, "999k" },
        { 1'000'000, "1.0M" },
        { 1'950'000, "1.9M" },
        { 9'999'999, "9.9M" },
        { 10'000'000, "10M" },
        { 12'345'678, "12M" },
        { std::numeric_limits<qint64>::min(), "0" },
        { std::numeric_limits<qint64>::max(), "9223372036854M" },
    };
    for (const auto& [count, text] : cases) {
        EXPECT_EQ(TokenStore::formatTokensDisplay(count), QString::fromLatin1(text)) << count;
    }
}

} // namespace
} // namespace murmeli::hooks
