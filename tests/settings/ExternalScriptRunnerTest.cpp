#include <gtest/gtest.h>

#include "main/settings/ExternalScriptRunner.h"

using namespace murmeli::settings;

TEST(ExternalScriptRunnerTest, CombinesBothChannelsInTheOrderWritten)
{
    const auto result = ExternalScriptRunner::run(QStringLiteral("/bin/bash"),
        { QStringLiteral("-c"), QStringLiteral("echo one; echo two >&2; sleep 0.05; echo three; exit 3") });
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, QStringLiteral("one\ntwo\nthree\n"));
}

TEST(ExternalScriptRunnerTest, LargeOutputDoesNotStall)
{
    const auto result = ExternalScriptRunner::run(QStringLiteral("/bin/bash"),
        { QStringLiteral("-c"), QStringLiteral("head -c 1000000 /dev/zero | tr '\\0' x") });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output.size(), 1000000);
}

TEST(ExternalScriptRunnerTest, LaunchFailureAndUndecodableOutput)
{
    const auto missing = ExternalScriptRunner::run(QStringLiteral("/nonexistent/interpreter"), {});
    EXPECT_EQ(missing.exitCode, -1);
    EXPECT_TRUE(missing.output.startsWith(QStringLiteral("Failed to launch /nonexistent/interpreter: ")));

    const auto binary = ExternalScriptRunner::run(
        QStringLiteral("/bin/bash"), { QStringLiteral("-c"), QStringLiteral("printf '\\377\\376'") });
    EXPECT_EQ(binary.exitCode, 0);
    EXPECT_TRUE(binary.output.isEmpty());
}
