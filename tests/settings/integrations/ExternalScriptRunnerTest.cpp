#include <gtest/gtest.h>

#include "main/settings/integrations/ExternalScriptRunner.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::ExternalScriptRunner::Result;

namespace {

Result runBash(const QString& script, const QString& interpreter = QStringLiteral("/bin/bash"))
{
    const auto result = test::keepResult(settings::ExternalScriptRunner::run(
        common::defaultCommandRunner(), interpreter, { QStringLiteral("-c"), script }));
    EXPECT_TRUE(test::waitUntil([&] { return result->has_value(); }, 30000));
    return result->value_or(Result {});
}

} // namespace

TEST(ExternalScriptRunnerTest, WhatTheUserIsShown)
{
    struct Case {
        const char* name;
        QString script;
        Result expected;
    };
    const std::vector<Case> cases {
        { "both channels in the order written", QStringLiteral("echo one; echo two >&2; echo three; exit 3"),
            { QStringLiteral("one\ntwo\nthree\n"), 3 } },
        { "undecodable bytes are replaced, the rest kept", QStringLiteral("printf 'ok \\377\\376 done'"),
            { QStringLiteral("ok \ufffd\ufffd done"), 0 } },
        { "a killed script is a failure", QStringLiteral("echo before; kill -9 $$"),
            { QStringLiteral("before\n"), -1 } },
        { "bash cannot start", QString(), { QStringLiteral("Failed to launch /nonexistent: "), -1 } },
    };
    for (const Case& c : cases) {
        const Result result = c.script.isNull() ? runBash({}, QStringLiteral("/nonexistent")) : runBash(c.script);
        EXPECT_EQ(result.exitCode, c.expected.exitCode) << c.name;
        EXPECT_TRUE(result.output.startsWith(c.expected.output)) << c.name << ": " << result.output.toStdString();
    }
}
