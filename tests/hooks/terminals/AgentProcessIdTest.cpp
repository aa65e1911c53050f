#include "main/hooks/terminals/AgentProcessId.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>
#include <signal.h>

#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

namespace murmeli::hooks {
namespace {

TEST(AgentProcessId, TakesOnlyAPidAndAStartTime)
{
    const struct {
        const char* text;
        std::optional<AgentProcessId> expected;
    } cases[] = {
        { "4242 987654", AgentProcessId { 4242, 987654 } },
        { "4242", std::nullopt },
        { "4242 987654 1", std::nullopt },
        { "4242  987654", std::nullopt },
        { "-4242 987654", std::nullopt },
        { "+4242 987654", std::nullopt },
        { "4242 0x10", std::nullopt },
        { "1 987654", std::nullopt },
        { "0 987654", std::nullopt },
        { "99999999999999999999 1", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AgentProcessId::parse(QString::fromLatin1(c.text)), c.expected) << c.text;
    }
}

TEST(AgentProcessId, RunsWhileItsProcessRunsNotOnceDeadOrItsPidIsAnothers)
{
    const std::optional<AgentProcessId> me = AgentProcessId::ofPid(QCoreApplication::applicationPid());
    ASSERT_TRUE(me);
    // A child whose parent never reaps it stays a zombie once killed.
    QProcess parent;
    parent.start(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("sleep 30 & echo $!; exec sleep 30") });
    ASSERT_TRUE(parent.waitForStarted());
    ASSERT_TRUE(test::waitUntil([&] { return parent.canReadLine(); }));
    const qint64 childPid = parent.readLine().trimmed().toLongLong();
    const std::optional<AgentProcessId> zombie = AgentProcessId::ofPid(childPid);
    ASSERT_TRUE(zombie);
    ASSERT_TRUE(zombie->isRunning());
    ::kill(static_cast<pid_t>(childPid), SIGKILL);
    ASSERT_TRUE(test::waitUntil([&] { return test::processGone(static_cast<pid_t>(childPid)); }));
    const std::optional<AgentProcessId> exited = AgentProcessId::ofPid(parent.processId());
    parent.kill();
    parent.waitForFinished();

    EXPECT_TRUE(me->isRunning());
    EXPECT_FALSE((AgentProcessId { me->pid, me->startTicks + 1 }).isRunning()) << "another process with its pid";
    EXPECT_FALSE(zombie->isRunning());
    ASSERT_TRUE(exited);
    EXPECT_FALSE(exited->isRunning());
}

} // namespace
} // namespace murmeli::hooks
