#include "main/app/shell/HealthTicker.h"

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

using namespace murmeli;
using app::HealthTicker;
using app::HookServerHealth;

TEST(HealthTickerTest, LogsTheProcessAndServerFiguresEveryThirtySeconds)
{
    test::FakeClock clock;
    HookServerHealth server { QStringLiteral("ready"), 2, 40, -1, 1, 3 };
    std::optional<platform::ProcessStats> stats = platform::ProcessStats { 52'428'800, 11 };
    HealthTicker ticker(
        clock, [&] { return server; }, [&] { return stats; });
    QStringList lines;
    ticker.onLog = [&](const QString& line, common::LogColor color) {
        EXPECT_EQ(color, common::LogColor::Grey);
        lines << line;
    };

    ticker.start();
    ticker.start();
    clock.advance(HealthTicker::intervalMs - 1);
    EXPECT_TRUE(lines.isEmpty());
    clock.advance(1);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.last(),
        QStringLiteral("[health] rss=50.0MB threads=11 hook=ready conns=2 events=40 lastEvent=never parseFail=1 "
                       "bearerReject=3"));

    // Each tick reads the figures afresh; figures the system does not give are shown as unknown.
    server.lastEventAgeSec = 7;
    stats.reset();
    clock.advance(HealthTicker::intervalMs);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("[health] rss=? threads=? hook=ready")));
    EXPECT_TRUE(lines.last().contains(QStringLiteral(" lastEvent=7s ")));

    ticker.stop();
    EXPECT_FALSE(ticker.isRunning());
    clock.advance(10 * HealthTicker::intervalMs);
    EXPECT_EQ(lines.size(), 2);
    EXPECT_EQ(clock.pendingTimers(), 0);
}
