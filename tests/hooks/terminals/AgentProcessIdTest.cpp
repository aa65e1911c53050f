#include "main/hooks/terminals/AgentProcessId.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace murmeli::hooks
