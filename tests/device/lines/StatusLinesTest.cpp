#include "main/device/lines/StatusLines.h"

#include <gtest/gtest.h>

using namespace murmeli;
using device::StatusLines;

namespace {

constexpr qint64 now = 1'800'000'000;

hooks::ClaudeStatus quietStatus()
{
    hooks::ClaudeStatus status;
    status.sessionId = QStringLiteral("sess-1");
    status.model = QStringLiteral("Opus 4");
    status.contextPercent = 60;
    status.lastStatusTs = now - 60;
    return status;
}

hooks::TranscriptData transcriptWithTodos()
{
    hooks::TranscriptData transcript;
    transcript.todos = { { QStringLiteral("write, the\nparser for the long lines"), QStringLiteral("in_progress") },
        { QStringLiteral("plan"), QStringLiteral("completed") },
        { QStringLiteral("ship"), QStringLiteral("pending") } };
    return transcript;
}

QStringList tags(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines) {
        result << line.section(QLatin1Char(':'), 0, 0);
    }
    return result;
}

} // namespace

TEST(StatusLinesTest, FirstComposeAndForgetSendEveryLineOtherwiseOnlyTheChangedOnes)
{
    StatusLines lines;
    const auto first = lines.compose(quietStatus(), transcriptWithTodos(), {}, now);
    ASSERT_EQ(tags(first), (QStringList { "L", "D", "M", "S", "T" }));
    EXPECT_EQ(first.at(0), QStringLiteral("L:yellow,s"));
    // Three todos, one completed, the one in progress cleaned of its separators and cut to 20 characters.
    EXPECT_EQ(first.at(4), QStringLiteral("T:3,1,write  the parser fo"));
    EXPECT_EQ(first.at(2), QStringLiteral("M:Opus 4"));
    EXPECT_EQ(first.at(3), QStringLiteral("S:sess-1"));

    EXPECT_EQ(tags(lines.compose(quietStatus(), transcriptWithTodos(), {}, now)), (QStringList { "L", "D" }));

    hooks::ClaudeStatus moved = quietStatus();
    moved.sessionId = QStringLiteral("sess-2");
    EXPECT_EQ(tags(lines.compose(moved, transcriptWithTodos(), {}, now)), (QStringList { "L", "D", "S" }));

    // Todos gone: nothing to show, but the change is remembered.
    EXPECT_EQ(tags(lines.compose(moved, {}, {}, now)), (QStringList { "L", "D" }));
    EXPECT_EQ(tags(lines.compose(moved, {}, {}, now)), (QStringList { "L", "D" }));
    EXPECT_EQ(tags(lines.compose(moved, transcriptWithTodos(), {}, now)), (QStringList { "L", "D", "T" }));

    // A device that reconnected has forgotten everything.
    lines.forget();
    EXPECT_EQ(
        tags(lines.compose(quietStatus(), transcriptWithTodos(), {}, now)), (QStringList { "L", "D", "M", "S", "T" }));
}

TEST(StatusLinesTest, AgentTextCannotAddFieldsOrLines)
{
    hooks::ClaudeStatus status = quietStatus();
    status.model = QStringLiteral("evil,model\nR:x,allow");
    status.sessionId = QStringLiteral("a|b\r\nc");
    status.activity = QStringLiteral("Running a, b, c\nQ:fake");
    hooks::TranscriptData transcript;
    transcript.sessionName = QStringLiteral("name,with,commas");

    StatusLines lines;
    const auto sent = lines.compose(status, transcript, { 2, 1, 5000, -3 }, now);
    for (const QString& line : sent) {
        EXPECT_FALSE(line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r'))) << line.toStdString();
    }
    EXPECT_EQ(sent.at(1).mid(2).split(QLatin1Char(',')).size(), 15) << sent.at(1).toStdString();
    EXPECT_TRUE(sent.at(1).endsWith(QStringLiteral(",{2/1},,5000,0"))) << sent.at(1).toStdString();
    EXPECT_EQ(sent.at(2), QStringLiteral("M:evil model R:x allow"));
    EXPECT_EQ(sent.at(3), QStringLiteral("S:a b  c"));
}

TEST(StatusLinesTest, RunningAgentsFallBackToTheTranscript)
{
    hooks::TranscriptData transcript;
    transcript.agents = { { "a1", "explore", "running" }, { "a2", "plan", "running" }, { "a3", "x", "completed" } };
    StatusLines lines;
    EXPECT_TRUE(lines.compose(quietStatus(), transcript, { 0, 4, 0, 0 }, now).at(1).contains(QStringLiteral("{2/4}")));
    EXPECT_TRUE(lines.compose(quietStatus(), transcript, { 7, 4, 0, 0 }, now).at(1).contains(QStringLiteral("{7/4}")));
}
