#include "main/hooks/terminals/SessionAgentFinder.h"

#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

namespace murmeli::hooks {
namespace {

ProcessFacts process(qint64 pid, const char* name, bool terminal, const char* cwd, qint64 startedMs,
    const QString& commandLine = QStringLiteral("codex"))
{
    return ProcessFacts { { pid, quint64(pid) * 10 }, QString::fromLatin1(name), terminal, QString::fromLatin1(cwd),
        commandLine, startedMs };
}

// A session id of UUID version 7 made at that millisecond.
QString madeAt(qint64 ms)
{
    return QStringLiteral("%1-%2-7abc-8def-0123456789ab")
        .arg(ms >> 16, 8, 16, QLatin1Char('0'))
        .arg(ms & 0xffff, 4, 16, QLatin1Char('0'));
}

// Codex's shared server, started by the first session in /work/alpha, runs every session's hooks without a terminal;
// each session's own codex has a terminal: two in /work/alpha, one in /work/beta.
const ProcessFacts server = process(900, "codex", false, "/work/alpha", 1100);
const std::vector<ProcessFacts> processes {
    process(
        100, "codex", true, "/work/alpha", 1000, QStringLiteral("codex resume 0190aaaa-0000-7000-8000-000000000001")),
    process(99, "node", true, "/work/alpha", 990),
    server,
    process(200, "codex", true, "/work/beta", 2000),
    process(300, "codex", true, "/work/alpha", 3000),
    process(400, "claude", true, "/work/beta", 500),
};

TEST(SessionAgentFinderChoose, TheSessionsOwnCodexBesideTheServerItsHooksRunUnder)
{
    const AgentProcessId first { 100, 1000 };
    const AgentProcessId third { 300, 3000 };
    const struct {
        const char* name;
        QString id;
        SessionFolders folders;
        std::vector<AgentProcessId> heldByOthers;
        std::optional<qint64> expected;
    } cases[] = {
        { "the one codex in its folder", madeAt(2500), { "/work/beta", "/work/beta" }, {}, 200 },
        { "its shell tool went below its folder", madeAt(2500), { "/work/beta/src", "/work/beta" }, {}, 200 },
        { "of two in a folder, the one started last before the session", madeAt(1500), { "/work/alpha", {} }, {}, 100 },
        { "a later session there: the later one", madeAt(3500), { "/work/alpha", {} }, {}, 300 },
        { "the other one holds a session already", madeAt(3500), { "/work/alpha", {} }, { third }, 100 },
        { "a resumed session, named on its command line", QStringLiteral("0190aaaa-0000-7000-8000-000000000001"),
            { "/work/alpha", {} }, {}, 100 },
        { "a resumed session: the one started last", madeAt(10), { "/work/alpha", {} }, {}, 300 },
        { "an id that tells no time: the one started last", QStringLiteral("sess-1"), { "/work/alpha", {} }, {}, 300 },
        { "both there hold other sessions", madeAt(3500), { "/work/alpha", {} }, { first, third }, std::nullopt },
        { "no codex with a terminal in its folder", madeAt(3500), { "/work/gamma", {} }, {}, std::nullopt },
        { "no folder known", madeAt(3500), {}, {}, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto chosen = SessionAgentFinder::choose(server, processes, { c.id, c.folders, {}, c.heldByOthers });
        EXPECT_EQ(chosen ? std::optional(chosen->id.pid) : std::nullopt, c.expected);
    }
    // An agent that runs its hooks itself, with a terminal, is its session's own: nothing is looked for.
    EXPECT_EQ(SessionAgentFinder::choose(processes[3], processes, { madeAt(2500), { "/work/beta", {} }, {}, {} }),
        std::nullopt);
}

TEST(SessionAgentFinderOwnAgent, LooksThroughTheProcessesOnlyForAServerWithoutATerminal)
{
    int listings = 0;
    SessionAgentFinder finder;
    finder.readProcess = [](qint64 pid) -> std::optional<ProcessFacts> {
        for (const ProcessFacts& p : processes) {
            if (p.id.pid == pid) {
                return p;
            }
        }
        return std::nullopt;
    };
    finder.listProcesses = [&](const QString& name) {
        ++listings;
        std::vector<ProcessFacts> named;
        std::copy_if(processes.begin(), processes.end(), std::back_inserter(named),
            [&](const ProcessFacts& p) { return p.name == name; });
        return named;
    };
    const SessionFolders beta { "/work/beta", {} };
    const AgentProcessId gone { 777, 7770 };
    const struct {
        const char* name;
        AgentProcessId named;
        std::optional<AgentProcessId> current;
        qint64 expected;
        int listings;
    } cases[] = {
        { "an agent with a terminal names itself", processes[5].id, std::nullopt, 400, 0 },
        { "the server: its session's own codex", server.id, std::nullopt, 200, 1 },
        { "the one found before, while it runs", server.id, processes[4].id, 300, 0 },
        { "the one found before is gone: found afresh", server.id, gone, 200, 1 },
        { "a named process that is gone stays as named", gone, std::nullopt, 777, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        listings = 0;
        EXPECT_EQ(finder.ownAgent(c.named, { madeAt(2500), beta, c.current, {} }).pid, c.expected);
        EXPECT_EQ(listings, c.listings);
    }
}

TEST(SessionAgentFinderKernel, ReadsAProcessAsTheKernelShowsIt)
{
    const qint64 pid = QCoreApplication::applicationPid();
    const std::optional<ProcessFacts> me = SessionAgentFinder::kernelProcess(pid);
    ASSERT_TRUE(me);
    EXPECT_EQ(me->id, AgentProcessId::ofPid(pid));
    EXPECT_EQ(me->cwd, QDir::current().canonicalPath());
    EXPECT_TRUE(me->commandLine.contains(QCoreApplication::applicationFilePath().section(u'/', -1)));
    EXPECT_LE(me->startedMs, QDateTime::currentMSecsSinceEpoch());
    const std::vector<ProcessFacts> sameName = SessionAgentFinder::kernelProcesses(me->name);
    EXPECT_TRUE(std::any_of(
        sameName.begin(), sameName.end(), [&](const ProcessFacts& p) { return p.id == me->id && p.cwd == me->cwd; }));
}

} // namespace
} // namespace murmeli::hooks
