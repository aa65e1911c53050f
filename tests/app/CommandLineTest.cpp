#include "main/app/CommandLine.h"

#include <gtest/gtest.h>

#include <variant>

using murmeli::app::Invocation;

// A session manager starts murmeli again as Qt programs are started again, with "-session ID": that starts murmeli
// (or opens its settings) whatever the ID, and the option is still refused where it means nothing. With murmeli
// already running, such a restore asks nothing of it, where a start by the user shows it.
TEST(CommandLineTest, ASessionManagersStartStartsMurmeliWhateverItsSession)
{
    struct Row {
        QStringList arguments;
        const char* command; // the invocation's command; null where the words are refused
        const char* problemNames = "";
        const char* handOver = "restore";
    };
    const Row rows[] = {
        { { "-session", "10d2a8f7e1000170188471400000025870011_1702041234_123456" }, "" },
        { { "-session", "" }, "" },
        { { "settings", "-session", "x" }, "settings" },
        { {}, "", "", "show" },
        { { "settings" }, "settings", "", "show-settings" },
        { { "-session" }, nullptr, "-session needs ID" },
        { { "-session", "a", "-session", "b" }, nullptr, "given twice" },
        { { "hooks", "secret", "-session", "x" }, nullptr, "unknown option -session" },
        { { "--session", "x" }, nullptr, "--session" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(QLatin1Char(' ')).toStdString());
        const auto parsed = murmeli::app::parseCommandLine(QStringList { QStringLiteral("murmeli") } + row.arguments);
        if (row.command == nullptr) {
            ASSERT_TRUE(std::holds_alternative<QString>(parsed));
            EXPECT_TRUE(std::get<QString>(parsed).contains(QLatin1String(row.problemNames)))
                << std::get<QString>(parsed).toStdString();
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Invocation>(parsed)) << std::get<QString>(parsed).toStdString();
        EXPECT_EQ(std::get<Invocation>(parsed).command, QLatin1String(row.command));
        EXPECT_TRUE(murmeli::app::startsMurmeli(std::get<Invocation>(parsed)));
        EXPECT_EQ(murmeli::app::handOverRequest(std::get<Invocation>(parsed)), QLatin1String(row.handOver));
    }
}
