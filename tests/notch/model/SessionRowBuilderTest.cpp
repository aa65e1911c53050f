#include "main/notch/model/SessionRowBuilder.h"

#include <functional>

#include <gtest/gtest.h>

namespace murmeli::notch {

namespace {

TEST(SessionRowBuilderTest, StateFollowsApprovalThenFailureThenCompactingThenWork)
{
    constexpr qint64 now = 1'800'000'000;
    struct Case {
        const char* name;
        bool requestOnShow;
        std::function<void(hooks::ClaudeStatus&, hooks::TranscriptData&)> set;
        SessionState expected;
    };
    const auto nothing = [](hooks::ClaudeStatus&, hooks::TranscriptData&) {};
    const Case cases[] = {
        { "quiet", false, nothing, SessionState::idle() },
        { "request on show", true, nothing, SessionState::needsApproval() },
        // A notice may be one the user has already answered in the terminal; only a held request waits here.
        { "permission notice in the status", false, [](auto& s, auto&) { s.needsAttention = true; },
            SessionState::idle() },
        { "failure notice", false,
            [](auto& s, auto&) {
                s.isError = true;
                s.pendingMessage = "hook failed";
            },
            SessionState::error("hook failed") },
        { "approval before failure", true, [](auto& s, auto&) { s.isError = true; }, SessionState::needsApproval() },
        { "compacting before working", false,
            [](auto& s, auto&) {
                s.isCompact = true;
                s.activity = "Bash";
            },
            SessionState::compacting() },
        { "live activity", false, [](auto& s, auto&) { s.activity = "Running make"; }, SessionState::working() },
        { "status rewritten 9 s ago", false, [](auto& s, auto&) { s.lastStatusTs = now - 9; },
            SessionState::working() },
        { "status rewritten 10 s ago", false, [](auto& s, auto&) { s.lastStatusTs = now - 10; }, SessionState::idle() },
        { "tool still running in the transcript", false,
            [](auto&, auto& t) {
                t.tools.append({ "tu-1", "Bash", "make", "running" });
            },
            SessionState::working() },
        { "idle notice ends the work", false,
            [](auto& s, auto&) {
                s.isIdle = true;
                s.activity = "Running make";
            },
            SessionState::idle() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hooks::ClaudeStatus status;
        hooks::TranscriptData transcript;
        c.set(status, transcript);
        EXPECT_EQ(SessionRowBuilder::stateOf(status, transcript, c.requestOnShow, now), c.expected);
    }
}

} // namespace
} // namespace murmeli::notch
