#include "main/voice/cloud/ReplyWaiter.h"

#include <memory>

#include <gtest/gtest.h>

#include <QString>

#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"

namespace murmeli::voice {
namespace {

using Waiter = ReplyWaiter<QString>;
using Result = Waiter::Result;

/// Starts a wait and records its result when it ends.
std::shared_ptr<std::optional<Result>> startWait(Waiter& waiter, qint64 timeoutMs)
{
    auto out = std::make_shared<std::optional<Result>>();
    [](QCoro::Task<Result> task, std::shared_ptr<std::optional<Result>> out) -> QCoro::Task<> { *out = co_await task; }(
                                                                                 waiter.wait(timeoutMs), out);
    return out;
}

std::string describe(const std::optional<Result>& result)
{
    if (!result) {
        return "still waiting";
    }
    const auto* text = std::get_if<QString>(&*result);
    return text ? "value " + text->toStdString() : "failure " + std::to_string(int(std::get<WaitFailure>(*result)));
}

const std::string timedOut = "failure 0";
const std::string replaced = "failure 1";
const std::string closed = "failure 2";

TEST(ReplyWaiterTest, DeliveredValueOrTimeOut)
{
    test::FakeClock clock;
    Waiter waiter(clock);
    EXPECT_FALSE(waiter.deliver(QStringLiteral("early"))) << "nobody waits yet";

    const auto first = startWait(waiter, 5000);
    EXPECT_TRUE(waiter.isWaiting());
    EXPECT_TRUE(waiter.deliver(QStringLiteral("reply")));
    EXPECT_EQ(describe(*first), "value reply");
    EXPECT_EQ(clock.pendingTimers(), 0) << "the time limit is cancelled with the reply";

    const auto second = startWait(waiter, 5000);
    clock.advance(4999);
    EXPECT_EQ(describe(*second), "still waiting");
    clock.advance(1);
    EXPECT_EQ(describe(*second), timedOut);
    EXPECT_FALSE(waiter.deliver(QStringLiteral("late"))) << "a reply after the limit finds nobody";
    EXPECT_EQ(describe(*second), timedOut);
}

TEST(ReplyWaiterTest, ReplacedWaiterIsResumedFirst)
{
    test::FakeClock clock;
    Waiter waiter(clock);
    const auto old = startWait(waiter, 5000);
    const auto replacement = startWait(waiter, 5000);
    EXPECT_EQ(describe(*old), replaced);
    EXPECT_EQ(describe(*replacement), "still waiting");
    EXPECT_EQ(clock.pendingTimers(), 1) << "only the live wait keeps a timer";

    EXPECT_TRUE(waiter.deliver(QStringLiteral("reply")));
    EXPECT_EQ(describe(*replacement), "value reply");
    EXPECT_EQ(describe(*old), replaced);
}

TEST(ReplyWaiterTest, CloseAndDestructionEndEveryWait)
{
    test::FakeClock clock;
    auto waiter = std::make_unique<Waiter>(clock);
    const auto pending = startWait(*waiter, 5000);
    waiter->close();
    EXPECT_EQ(describe(*pending), closed);
    EXPECT_EQ(describe(*startWait(*waiter, 5000)), closed) << "a closed source answers at once";

    auto second = std::make_unique<Waiter>(clock);
    const auto orphan = startWait(*second, 5000);
    second.reset();
    EXPECT_EQ(describe(*orphan), closed);
    EXPECT_EQ(clock.pendingTimers(), 0);
}

TEST(ReplyWaiterTest, ResumedCoroutineMayDestroyTheWaiter)
{
    test::FakeClock clock;
    auto waiter = std::make_unique<Waiter>(clock);
    std::optional<Result> seen;
    [](std::unique_ptr<Waiter>& owner, std::optional<Result>& seen) -> QCoro::Task<> {
        seen = co_await owner->wait(5000);
        owner.reset(); // the owner ends the exchange as soon as its reply is in
    }(waiter, seen);
    EXPECT_TRUE(waiter->deliver(QStringLiteral("reply")));
    EXPECT_EQ(waiter, nullptr);
    EXPECT_EQ(describe(seen), "value reply");
}

} // namespace
} // namespace murmeli::voice
