#include "main/voice/context/STTContextBuilder.h"

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

using Hotwords = QMap<QString, int>;

STTContextBuilder::SessionView workingSession()
{
    STTContextBuilder::SessionView session;
    hooks::ClaudeStatus status;
    status.activityTool = QStringLiteral("Edit");
    status.project = QStringLiteral("murmeli");
    status.costUSD = 0.42;
    session.status = status;
    const auto tool = [](const char* name, const char* target) {
        return hooks::TranscriptTool { QString(), QLatin1String(name), QLatin1String(target),
            QStringLiteral("completed") };
    };
    session.transcript.tools = { tool("Read", "a.cpp"), tool("Bash", "ls -la"), tool("Edit", "b.h"),
        tool("Read", "a.cpp"), tool("Grep", "TODO"), tool("Write", "c.md"), tool("Read", "x") };
    return session;
}

TEST(STTContextBuilderTest, TheContextCarriesTheSessionsToolRecentFilesCostAndLocale)
{
    const STTContext context = STTContextBuilder::build(workingSession(), {}, 25, QStringLiteral("de-AT"));
    EXPECT_EQ(context.tool(), "Edit");
    // The latest first, each once; Grep's pattern and Bash's command are not files.
    EXPECT_EQ(context.files(), (QStringList { "x", "c.md", "a.cpp", "b.h" }));
    EXPECT_DOUBLE_EQ(context.costUSD(), 0.42);
    EXPECT_EQ(context.locale(), "de-AT");
    // The project outweighs file names, which outweigh tool names; a one-character name is no term.
    EXPECT_EQ(context.hotwords(),
        (Hotwords { { "murmeli", 20 }, { "c.md", 15 }, { "a.cpp", 15 }, { "b.h", 15 }, { "Read", 10 }, { "Write", 10 },
            { "Grep", 10 }, { "Edit", 10 }, { "Bash", 10 } }));

    const STTContext nothingSelected = STTContextBuilder::build({}, { QStringLiteral("kubectl") }, 25, "en-US");
    EXPECT_TRUE(nothingSelected.tool().isEmpty());
    EXPECT_TRUE(nothingSelected.files().isEmpty());
    EXPECT_EQ(nothingSelected.costUSD(), 0);
    EXPECT_EQ(nothingSelected.hotwords(), (Hotwords { { "kubectl", 25 } }));
}

TEST(STTContextBuilderTest, CustomHotwordsOfTwoOrMoreCharactersTakeTheCustomWeight)
{
    const Hotwords session { { "murmeli", 20 }, { "a.cpp", 15 }, { "Read", 10 } };
    struct Row {
        const char* name;
        QStringList custom;
        Hotwords expected;
    };
    const Row rows[] = {
        { "none", {}, session },
        { "added", { "kubectl" }, { { "murmeli", 20 }, { "a.cpp", 15 }, { "Read", 10 }, { "kubectl", 25 } } },
        { "replaces a session weight", { "a.cpp", "Read" }, { { "murmeli", 20 }, { "a.cpp", 25 }, { "Read", 25 } } },
        { "one character skipped", { "x", "e\u0301", "日" }, session },
        { "two characters kept", { "Qt", "日本" },
            { { "murmeli", 20 }, { "a.cpp", 15 }, { "Read", 10 }, { "Qt", 25 }, { "日本", 25 } } },
        { "case counts", { "MURMELI" }, { { "murmeli", 20 }, { "a.cpp", 15 }, { "Read", 10 }, { "MURMELI", 25 } } },
    };
    for (const Row& row : rows) {
        Hotwords hotwords = session;
        STTContextBuilder::applyCustomHotwords(hotwords, row.custom, 25);
        EXPECT_EQ(hotwords, row.expected) << row.name;
    }
}

} // namespace
} // namespace murmeli::voice
