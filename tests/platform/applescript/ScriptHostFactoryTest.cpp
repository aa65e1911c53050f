#include <chrono>

#include <gtest/gtest.h>

#include "platform/applescript/ScriptHostFactory.h"

namespace murmeli::platform {
namespace {

TEST(ScriptHostFactory, TheLinuxHostRunsNothingAndSaysWhy)
{
    const std::unique_ptr<ScriptHost> host = makeScriptHost();
    ASSERT_NE(host, nullptr);
    EXPECT_FALSE(host->isAvailable());

    const ScriptResult result = host->run(QStringLiteral("return \"ok\""), std::chrono::seconds(3));
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.errorText.isEmpty());
    EXPECT_TRUE(result.standardOutput.isEmpty());
}

} // namespace
} // namespace murmeli::platform
