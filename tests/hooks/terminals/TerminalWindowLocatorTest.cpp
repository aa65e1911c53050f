#include "main/hooks/terminals/TerminalWindowLocator.h"

#include <gtest/gtest.h>

using namespace murmeli;
using hooks::TerminalWindowLocator;

TEST(TerminalWindowLocatorTest, TheNearestAncestorWithAWindowShowsTheAgent)
{
    // init 1 ← xterm 100 ← bash 101 ← claude 102; tmux server 200 ← bash 201 ← claude 202; xterm 300 ← tmux client 301
    const hooks::ProcessTable table = hooks::ProcessTable::parse(
        QStringLiteral("1 0 ? /sbin/init\n100 1 ? xterm\n101 100 pts/1 bash\n102 101 pts/1 claude\n"
                       "200 1 ? tmux new-session -d\n201 200 pts/5 bash\n202 201 pts/5 claude\n"
                       "300 1 ? xterm -e tmux attach\n301 300 pts/6 tmux attach\n"));
    const QList<platform::WindowInfo> windows { { 0x500001, "xterm", "XTerm", 100, "agent" },
        { 0x600001, "xterm", "XTerm", 300, "attached" }, { 0x700001, "firefox", "Firefox", std::nullopt, "web" } };
    const struct {
        QString pid;
        std::optional<platform::WindowId> window;
    } cases[] = {
        { "102", 0x500001 },
        { "100", 0x500001 },
        { "202", std::nullopt },
        { "301", 0x600001 },
        { "999", std::nullopt },
        { "not-a-pid", std::nullopt },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalWindowLocator::windowOfProcess(c.pid, table, windows), c.window) << c.pid.toStdString();
    }
}

TEST(TerminalWindowLocatorTest, TmuxClientsOfTheSessionThatHoldsTheTerminal)
{
    const QString panes = QStringLiteral("/dev/pts/5 work\n/dev/pts/7 other\n/dev/pts/8 work\n");
    const QString clients = QStringLiteral("301 work\n302 other\n303 work\n");
    EXPECT_EQ(TerminalWindowLocator::clientsShowing("/dev/pts/5", panes, clients), (QStringList { "301", "303" }));
    EXPECT_EQ(TerminalWindowLocator::clientsShowing("/dev/pts/7", panes, clients), QStringList { "302" });
    EXPECT_EQ(TerminalWindowLocator::clientsShowing("/dev/pts/9", panes, clients), QStringList {});
    EXPECT_EQ(TerminalWindowLocator::clientsShowing("/dev/pts/5", panes, QString()), QStringList {});
}
