#include <gtest/gtest.h>

#include "main/hooks/install/AgentAdapter.h"

using namespace murmeli::hooks;

// As the shell's ${VARIABLE:-$HOME<belowHome>}<below>: a variable set but empty is no variable at all.
TEST(AgentAdapterTest, APathIsWhereTheVariableSaysElseBelowTheHome)
{
    const AgentPath folder { QStringLiteral("TOOL_HOME"), QStringLiteral("/.tool"), QStringLiteral("/hooks.json") };
    const AgentPath file { QStringLiteral("TOOL_SETTINGS"), QStringLiteral("/.tool/settings.json"), {} };
    struct Case {
        const char* name;
        AgentPath path;
        std::optional<QString> value;
        QString expected;
    };
    const std::vector<Case> cases {
        { "folder, unset", folder, std::nullopt, QStringLiteral("/h/.tool/hooks.json") },
        { "folder, set", folder, QStringLiteral("/elsewhere"), QStringLiteral("/elsewhere/hooks.json") },
        { "folder, empty", folder, QString(), QStringLiteral("/h/.tool/hooks.json") },
        { "file, unset", file, std::nullopt, QStringLiteral("/h/.tool/settings.json") },
        { "file, set", file, QStringLiteral("/x/s.json"), QStringLiteral("/x/s.json") },
        { "file, empty", file, QString(), QStringLiteral("/h/.tool/settings.json") },
    };
    for (const Case& c : cases) {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("OTHER"), QStringLiteral("/other"));
        if (c.value) {
            environment.insert(c.path.variable, *c.value);
        }
        EXPECT_EQ(c.path.resolve(QStringLiteral("/h"), environment), c.expected) << c.name;
    }
    EXPECT_EQ(folder.underTilde(), QStringLiteral("~/.tool/hooks.json"));
}
