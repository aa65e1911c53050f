#include "main/usage/CodexBarCommand.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace murmeli::usage {
namespace {

TEST(CodexBarCommandTest, GateTakesOnlyRowsWhoseFirstWordIsTheTool)
{
    struct Case {
        QString row;
        std::optional<QStringList> arguments;
    };
    const Case cases[] = {
        { QStringLiteral("codexbar usage --format json"), QStringList { "usage", "--format", "json" } },
        { QStringLiteral("  codexbar \t usage   --provider claude  "),
            QStringList { "usage", "--provider", "claude" } },
        { QStringLiteral("codexbar"), QStringList {} },
        // Shell syntax stays plain text: no second command, no expansion.
        { QStringLiteral("codexbar usage; rm -rf ~"), QStringList { "usage;", "rm", "-rf", "~" } },
        { QStringLiteral("codexbar \"$HOME\""), QStringList { "\"$HOME\"" } },
        { QStringLiteral("codexbar; rm -rf ~"), std::nullopt },
        { QStringLiteral("CodexBar usage"), std::nullopt },
        { QStringLiteral("codexbarx usage"), std::nullopt },
        { QStringLiteral("/usr/local/bin/codexbar usage"), std::nullopt },
        { QStringLiteral("sh -c codexbar"), std::nullopt },
        { QString(), std::nullopt },
        { QStringLiteral("   "), std::nullopt },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CodexBarCommand::arguments(c.row), c.arguments) << c.row.toStdString();
    }
}

TEST(CodexBarCommandTest, LocatesTheToolOnlyInAbsoluteFolders)
{
    const QString fake = QStringLiteral(MURMELI_FAKE_CODEXBAR_DIR);
    QTemporaryDir empty;
    EXPECT_EQ(CodexBarCommand::locate({ empty.path(), fake }), QDir(fake).filePath("codexbar"));
    EXPECT_EQ(CodexBarCommand::locate({ empty.path() }), QString());
    EXPECT_EQ(CodexBarCommand::locate({}), QString());

    // A relative PATH entry would let whatever directory we were started in supply the tool.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(fake);
    EXPECT_EQ(CodexBarCommand::locate({ QStringLiteral("."), QString() }), QString());
    QDir::setCurrent(previous);
}

} // namespace
} // namespace murmeli::usage
