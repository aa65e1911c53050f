#include "main/hooks/sessions/SessionKeyTable.h"

#include <set>

#include <gtest/gtest.h>

namespace murmeli::hooks {
namespace {

// A full table keeps the keys of the ids listed, waiting or just ended; a newcomer gets one only where another may go.
TEST(SessionKeyTableTest, AFullTableKeepsWhatItMustAndRefusesTheNewcomerOtherwise)
{
    const int capacity = int(SessionKeyTable::capacity);
    const struct {
        int kept, ended; // of the ids filling the table: listed or waiting, then ended; the rest only asked
        qint64 laterSecs;
        bool newcomerGetsAKey;
    } cases[] = { { capacity, 0, 0, false }, { 1, capacity - 1, 60, false }, { capacity / 2, 0, 0, true },
        { 1, capacity - 1, SessionKeyTable::endedKeptSeconds + 1, true } };
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const auto nobody = [](const SessionKey&) { return std::optional<QString>(); };
    for (const auto& c : cases) {
        SessionKeyTable table;
        QStringList lines;
        table.onLog = [&](const QString& line) { lines << line; };
        std::set<QString> kept;
        const auto isKept = [&](const SessionKey& key) { return kept.contains(key.text()); };
        const auto keyOf
            = [&](const QString& id, qint64 secs) { return table.keyFor(id, nobody, isKept, start.addSecs(secs)); };
        const auto id
            = [](int i) { return QStringLiteral("%1-0000-4000-8000-000000000000").arg(i, 8, 10, QLatin1Char('0')); };
        const QString waiting = "feedface-0000-4000-8000-000000000001";
        kept.insert(keyOf(waiting, 0)->text());
        for (int i = 1; i < capacity; ++i) {
            const auto key = keyOf(id(i), 0);
            ASSERT_TRUE(key);
            if (i < c.kept) {
                kept.insert(key->text());
            } else if (i < c.kept + c.ended) {
                table.markEnded(id(i), start);
            }
        }
        std::optional<SessionKey> newcomer, alike;
        ASSERT_NO_THROW(newcomer = keyOf(id(capacity), c.laterSecs));
        ASSERT_NO_THROW(alike = keyOf("feedface-0000-4000-8000-000000000002", c.laterSecs));
        EXPECT_EQ(newcomer.has_value(), c.newcomerGetsAKey) << c.kept << " " << c.ended;
        EXPECT_NE(alike, SessionKey::fromFileKey("feedface"));
        EXPECT_EQ(table.idOf(*SessionKey::fromFileKey("feedface")), waiting);
        EXPECT_EQ(lines.size(), c.newcomerGetsAKey ? 0 : 1);
        EXPECT_EQ(table.hasEnded(id(1)), c.ended > 0 && c.laterSecs < SessionKeyTable::endedKeptSeconds);
    }
}

} // namespace
} // namespace murmeli::hooks
