#include "main/voice/streaming/FinalTextWaiter.h"

#include <optional>

#include <QCoroTask>

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

namespace murmeli::voice {
namespace {

/// A waiting take: its outcome lands in slot once the wait ends.
QCoro::Task<> awaitFinal(FinalTextWaiter& waiter, std::optional<FinalTextOutcome>& slot)
{
    slot = co_await waiter.arm();
}

class FinalTextWaiterTest : public ::testing::Test {
protected:
    QCoro::Task<> take(std::optional<FinalTextOutcome>& slot) { return awaitFinal(m_waiter, slot); }

    test::FakeClock m_clock;
    FinalTextWaiter m_waiter { m_clock };
};

TEST_F(FinalTextWaiterTest, TheFinalTextEndsTheWaitAndAFinalWithNobodyWaitingIsDropped)
{
    EXPECT_FALSE(m_waiter.deliver(QStringLiteral("nobody asked")));
    std::optional<FinalTextOutcome> outcome;
    auto running = take(outcome);
    EXPECT_TRUE(m_waiter.isWaiting());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_TRUE(m_waiter.deliver(QStringLiteral("hello")));
    EXPECT_EQ(outcome, (FinalTextOutcome { QStringLiteral("hello"), {} }));
    EXPECT_FALSE(m_waiter.isWaiting());
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

TEST_F(FinalTextWaiterTest, AReplacedWaitEndsWithAnErrorBeforeTheNewOneStarts)
{
    std::optional<FinalTextOutcome> first, second;
    auto older = take(first);
    auto newer = take(second);
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(first->text.has_value());
    EXPECT_EQ(first->error, QStringLiteral("a newer take replaced this wait for the final text"));
    EXPECT_FALSE(second.has_value());
    m_waiter.deliver(QStringLiteral("for the newer take"));
    EXPECT_EQ(second->text, QStringLiteral("for the newer take"));
}

TEST_F(FinalTextWaiterTest, AWaitEndsAtItsTimeLimitAndALateFinalIsDropped)
{
    std::optional<FinalTextOutcome> outcome;
    auto running = take(outcome);
    m_clock.advance(FinalTextWaiter::defaultLimitMs - 1);
    EXPECT_FALSE(outcome.has_value());
    m_clock.advance(1);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->error, QStringLiteral("no final text within 10000 ms"));
    EXPECT_FALSE(m_waiter.deliver(QStringLiteral("too late")));
}

TEST_F(FinalTextWaiterTest, AWaitStillOpenWhenTheWaiterGoesEndsWithAnError)
{
    std::optional<FinalTextOutcome> outcome;
    auto waiter = std::make_unique<FinalTextWaiter>(m_clock);
    auto running = awaitFinal(*waiter, outcome);
    waiter.reset();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->text.has_value());
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

} // namespace
} // namespace murmeli::voice
