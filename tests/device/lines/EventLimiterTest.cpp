#include "main/device/lines/EventLimiter.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "tests/support/FakeClock.h"

using namespace murmeli;

namespace {

class EventLimiterTest : public ::testing::Test {
protected:
    EventLimiterTest()
    {
        limiter.send
            = [this](const QString& line) { sent << QString::number(clock.monotonicMs() - start) + ' ' + line; };
    }

    test::FakeClock clock;
    qint64 start = clock.monotonicMs();
    device::EventLimiter limiter { clock };
    QStringList sent;
};

} // namespace

TEST_F(EventLimiterTest, OfABurstTheFirstGoesAtOnceAndTheNewestAtTheEndOfTheInterval)
{
    limiter.submit(QStringLiteral("E:one"));
    clock.advance(100);
    limiter.submit(QStringLiteral("E:two"));
    clock.advance(100);
    limiter.submit(QStringLiteral("E:three"));
    clock.advance(299);
    EXPECT_EQ(sent, QStringList { "0 E:one" });
    clock.advance(1);
    EXPECT_EQ(sent, (QStringList { "0 E:one", "500 E:three" }));

    // The flush started a new interval.
    limiter.submit(QStringLiteral("E:four"));
    clock.advance(500);
    EXPECT_EQ(sent.last(), QStringLiteral("1000 E:four"));
    clock.advance(10000);
    limiter.submit(QStringLiteral("E:five"));
    EXPECT_EQ(sent.last(), QStringLiteral("11000 E:five"));
}

TEST_F(EventLimiterTest, TheWaitNeverDropsBelowTheMinimum)
{
    limiter.setIntervalMs(5);
    limiter.submit(QStringLiteral("E:a"));
    clock.advance(4);
    limiter.submit(QStringLiteral("E:b"));
    clock.advance(9);
    EXPECT_EQ(sent.size(), 1);
    clock.advance(1);
    EXPECT_EQ(sent.last(), QStringLiteral("14 E:b"));
}
