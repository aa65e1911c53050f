#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "main/device/tts/TTSPrompt.h"

namespace {

namespace TTSPrompt = murmeli::device::TTSPrompt;
using murmeli::hooks::ClaudeStatus;
using murmeli::hooks::TranscriptData;

TranscriptData withTodos(int total, int completed)
{
    TranscriptData data;
    for (int i = 0; i < total; ++i) {
        data.todos.append({ QStringLiteral("task %1").arg(i), i < completed ? "completed" : "in_progress" });
    }
    return data;
}

// Tool calls by name, each finished the given number of times; one more call of each is still running.
TranscriptData withFinishedTools(const std::vector<std::pair<const char*, int>>& counts)
{
    TranscriptData data;
    for (const auto& [name, count] : counts) {
        for (int i = 0; i < count; ++i) {
            data.tools.append({ QString(), name, QString(), i % 2 ? "error" : "completed" });
        }
        data.tools.append({ QString(), name, QString(), "running" });
    }
    return data;
}

std::optional<ClaudeStatus> lines(int added, int removed)
{
    ClaudeStatus status;
    status.linesAdded = added;
    status.linesRemoved = removed;
    return status;
}

struct PromptCase {
    const char* situation;
    std::function<QString()> phrase;
    QString expected;
};

TEST(TTSPromptTest, PhrasesAreShortAndMadeToBeHeard)
{
    const QString tenWords = QStringLiteral("git commit -m one two three four five six seven");
    const PromptCase cases[] = {
        { "Bash", [] { return TTSPrompt::shortToolName("Bash"); }, "bash" },
        { "an MCP tool with an underscore", [] { return TTSPrompt::shortToolName("mcp__tracker__create_issue"); },
            "issue" },
        { "an MCP tool keeps its case", [] { return TTSPrompt::shortToolName("mcp__server__Tool"); }, "Tool" },
        { "mcp__ alone", [] { return TTSPrompt::shortToolName("mcp__"); }, "mcp" },
        { "outer blanks", [] { return TTSPrompt::prefixWords(QStringLiteral(" \t a  b\u00a0"), 5); }, "a  b" },
        { "a line break stays", [] { return TTSPrompt::prefixWords(QStringLiteral("a\nb "), 5); }, "a\nb" },
        { "double spaces", [] { return TTSPrompt::prefixWords(QStringLiteral("a  b  c"), 2); }, "a b" },
        { "empty text", [] { return TTSPrompt::prefixWords(QString(), 5); }, "" },
        { "approval of Bash", [&] { return TTSPrompt::forApproval("Bash", tenWords); },
            "Approve. git commit -m one two three" },
        { "approval of Edit", [] { return TTSPrompt::forApproval("Edit", "src/main.cpp line 12 to 40 and more"); },
            "Approve. edit src/main.cpp line 12 to 40" },
        { "approval of bash is not Bash", [] { return TTSPrompt::forApproval("bash", "ls -la"); },
            "Approve. bash ls -la" },
        { "approval without preview", [] { return TTSPrompt::forApproval("mcp__db__run_query", ""); },
            "Need approval. query" },
        { "tool failure without error", [] { return TTSPrompt::forToolFailure("Read", ""); }, "read failed" },
        { "tool failure", [] { return TTSPrompt::forToolFailure("Grep", "no such file or directory here"); },
            "grep failed. no such file or directory" },
        { "rate limit", [] { return TTSPrompt::forStopFailure("rate_limit", "slow down"); },
            "Rate limit. Please wait" },
        { "a type compared case-sensitively",
            [] {
                return TTSPrompt::forStopFailure("Rate_Limit", "Connection reset by peer while streaming the reply");
            },
            "Error. Connection reset by peer while" },
        { "an unknown type without message", [] { return TTSPrompt::forStopFailure("unknown", ""); },
            "Error occurred" },
        { "todos", [] { return TTSPrompt::forStop(withTodos(5, 2), std::nullopt); }, "Done. 2 of 5 tasks complete" },
        { "todos win over lines", [] { return TTSPrompt::forStop(withTodos(3, 0), lines(7, 0)); },
            "Done. 0 of 3 tasks complete" },
        { "lines", [] { return TTSPrompt::forStop({}, lines(12, 3)); }, "Done. 12 lines added 3 removed" },
        { "removed only", [] { return TTSPrompt::forStop({}, lines(0, 4)); }, "Done. 4 removed" },
        { "two tools at most",
            [] {
                return TTSPrompt::forStop(
                    withFinishedTools({ { "Edit", 1 }, { "Bash", 3 }, { "Read", 2 } }), lines(0, 0));
            },
            "Done. 3 bash, 2 read" },
        { "nothing finished",
            [] {
                return TTSPrompt::forStop(withFinishedTools({ { "Bash", 0 } }), std::nullopt);
            },
            "Task complete" },
    };
    for (const PromptCase& c : cases) {
        EXPECT_EQ(c.phrase(), c.expected) << c.situation;
    }
}

} // namespace
