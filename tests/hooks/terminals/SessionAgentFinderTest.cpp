#include "main/hooks/terminals/SessionAgentFinder.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <qcoro/qcorotask.h>

#include "main/common/OffThread.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

namespace murmeli::hooks {
namespace {

ProcessFacts process(qint64 pid, const char* name, bool terminal, const char* cwd, const QStringList& arguments = {})
{
    return ProcessFacts { { pid, quint64(pid) * 10 }, QString::fromLatin1(name), terminal, QString::fromLatin1(cwd),
        QStringList { QStringLiteral("codex") } + arguments, pid };
}

const QString resumed = QStringLiteral("0190aaaa-0000-7000-8000-000000000001");
const QString fresh = QStringLiteral("0190bbbb-0000-7000-8000-000000000002");

// Codex's shared server, started by the first session in /work/alpha, runs every session's hooks without a terminal;
// each session's own codex has a terminal: two in /work/alpha (one started to resume a session), one in /work/beta.
const ProcessFacts server = process(900, "codex", false, "/work/alpha");
const std::vector<ProcessFacts> processes {
    process(100, "codex", true, "/work/alpha", { QStringLiteral("resume"), resumed }),
    process(99, "node", true, "/work/alpha"),
    server,
    process(200, "codex", true, "/work/beta"),
    process(300, "codex", true, "/work/alpha"),
    process(400, "claude", true, "/work/beta"),
    // Prompts given on the command line: one argument each, whatever words they hold.
    process(500, "codex", true, "/work/delta", { QStringLiteral("fix the resume button") }),
    process(600, "codex", true, "/work/delta", { QStringLiteral("go on with ") + fresh }),
    // A second codex without a terminal (another server, or a run in the background) is no session's window.
    process(700, "codex", false, "/work/gamma"),
};
const AgentProcessId first = processes[0].id;
const AgentProcessId third = processes[4].id;

SessionAgentFinder::OtherSession other(const AgentProcessId& agent, const char* folder)
{
    return { QString(), agent, { QString::fromLatin1(folder), {} } };
}

TEST(SessionAgentFinderChoose, ASessionIsTiedToAProcessOfItsServersNameOnlyWhereItIsProvenOrTheLikelyOne)
{
    const SessionFolders alpha { "/work/alpha", {} };
    const SessionFolders delta { "/work/delta", {} };
    // first: the session speaks for the first time; kept: the one it held as the likely one.
    const struct {
        const char* name;
        QString id;
        SessionFolders folders;
        std::vector<SessionAgentFinder::OtherSession> others;
        std::vector<AgentProcessId> gone;
        std::optional<qint64> own;
        std::vector<qint64> undecided;
        bool first = true;
        std::optional<AgentProcessId> kept = std::nullopt;
        std::optional<qint64> firstWord = std::nullopt; // when it first spoke; the processes started at their pid's ms
    } cases[] = {
        { "the one codex in its folder", fresh, { "/work/beta", "/work/beta" }, {}, {}, 200, {} },
        { "its shell tool went below its folder", fresh, { "/work/beta/src", "/work/beta" }, {}, {}, 200, {} },
        { "the one in its folder, but another session of the server works there", fresh, { "/work/beta", {} },
            { other(server.id, "/work/beta") }, {}, std::nullopt, { 200 } },
        { "the one in its folder, no longer its first word", fresh, { "/work/beta", {} }, {}, {}, std::nullopt, { 200 },
            false },
        { "the one in its folder, held as the likely one before", fresh, { "/work/beta", {} }, {}, {}, 200, {}, false,
            processes[3].id },
        // As after /new then /resume in one window: the new session took the window back, and has gone since.
        { "the one in its folder, no longer its first word, there before it first spoke", fresh, { "/work/beta", {} },
            {}, {}, 200, {}, false, std::nullopt, 1000 },
        { "the one in its folder, no longer its first word, started after it first spoke", fresh, { "/work/beta", {} },
            {}, {}, std::nullopt, { 200 }, false, std::nullopt, 150 },
        { "the one in its folder, there before it first spoke, another session of the server there", fresh,
            { "/work/beta", {} }, { other(server.id, "/work/beta") }, {}, std::nullopt, { 200 }, false, std::nullopt,
            1000 },
        // These three were guessed by start times before; nothing tells which of the two is the session's.
        { "two in its folder, both there when it was made", fresh, alpha, {}, {}, std::nullopt, { 100, 300 } },
        { "a resumed session's id in neither command line", resumed.left(35) + u'9', alpha, {}, {}, std::nullopt,
            { 100, 300 } },
        { "an id that tells no time", QStringLiteral("sess-1"), alpha, {}, {}, std::nullopt, { 100, 300 } },
        { "a resumed session, named on its command line", resumed, alpha, {}, {}, 100, {} },
        { "named on its command line, long after it first spoke", resumed, alpha, { other(server.id, "/work/alpha") },
            {}, 100, {}, false },
        { "the other one holds another session", fresh, alpha, { other(third, "/work/alpha") }, {}, std::nullopt,
            { 100 } },
        { "both there hold other sessions", fresh, alpha, { other(first, "/work/alpha"), other(third, "/work/alpha") },
            {}, std::nullopt, {} },
        { "one of two ended, another session of the server works there", fresh, alpha,
            { other(server.id, "/work/alpha") }, { third }, std::nullopt, { 100 } },
        { "one of two ended, the server's other session works elsewhere", fresh, alpha,
            { other(server.id, "/work/beta") }, { third }, 100, {} },
        { "one of two ended, the other resumes a session of the server that works elsewhere", fresh, alpha,
            { { resumed, server.id, { "/work/beta", {} } } }, { third }, std::nullopt, {} },
        { "the one in its folder, where a session of the server tied to a process elsewhere works now", fresh,
            { "/work/beta", {} }, { { QString(), third, { "/work/beta", {} }, server.id } }, {}, std::nullopt,
            { 200 } },
        { "its id inside a prompt, another's words", fresh, delta, { other(server.id, "/work/delta") }, {},
            std::nullopt, { 500, 600 } },
        { "no codex with a terminal in its folder", fresh, { "/work/gamma", {} }, {}, {}, std::nullopt, {} },
        { "no folder known", fresh, {}, {}, {}, std::nullopt, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ProcessFacts> looked;
        std::copy_if(processes.begin(), processes.end(), std::back_inserter(looked),
            [&](const ProcessFacts& p) { return std::find(c.gone.begin(), c.gone.end(), p.id) == c.gone.end(); });
        const SessionAgentFinder::Verdict verdict = SessionAgentFinder::choose(
            server, looked, { c.id, c.folders, std::nullopt, c.others }, c.first, c.kept, c.firstWord);
        EXPECT_EQ(verdict.agent.pid, c.own.value_or(server.id.pid));
        EXPECT_EQ(verdict.untold, !c.own);
        std::vector<qint64> undecided;
        for (const AgentProcessId& id : verdict.undecided) {
            undecided.push_back(id.pid);
        }
        EXPECT_EQ(undecided, c.undecided);
    }
    // An agent that runs its hooks itself, with a terminal, is its session's own.
    EXPECT_EQ(SessionAgentFinder::choose(processes[3], processes, { fresh, alpha }, true).agent, processes[3].id);
}

// The machine's processes as the finder sees them, which a test starts and ends.
struct Machine {
    std::map<qint64, ProcessFacts> running;
    int listings = 0;
    // Listings still to come that are read while one window ends and another starts: they show neither.
    std::atomic<int> torn = 0;

    void install(SessionAgentFinder& finder)
    {
        finder.readProcess = [this](qint64 pid) -> std::optional<ProcessFacts> {
            const auto found = running.find(pid);
            return found == running.end() ? std::nullopt : std::optional(found->second);
        };
        // Read on the finder's worker while the test waits for it.
        finder.listProcesses = [this](const QString& name) {
            ++listings;
            std::vector<ProcessFacts> named;
            if (torn > 0) {
                --torn;
                return named;
            }
            for (const auto& [pid, facts] : running) {
                if (facts.name == name) {
                    named.push_back(facts);
                }
            }
            return named;
        };
    }
};

TEST(SessionAgentFinderOwnAgent, AnswersAtOnceAndTakesAFreshLookAtEachWordOffTheCallersThread)
{
    Machine machine;
    for (const ProcessFacts& p : processes) {
        machine.running.emplace(p.id.pid, p);
    }
    test::FakeClock clock;
    SessionAgentFinder finder(clock);
    machine.install(finder);
    QStringList lookedUp;
    finder.onLookedUp = [&](const QString& sessionId) { lookedUp << sessionId; };
    const SessionAgentFinder::Session beta { fresh, { "/work/beta", {} } };
    const auto ownOf = [&](const AgentProcessId& named, const SessionAgentFinder::Session& session) {
        return finder.ownAgent(named, session).agent.pid;
    };

    // An agent with a terminal names itself, and nothing is looked up.
    EXPECT_EQ(ownOf(processes[5].id, beta), 400);
    EXPECT_EQ(machine.listings, 0);
    // Under the server: the server until the look is done, then the session's own; each word looks again.
    EXPECT_EQ(ownOf(server.id, beta), 900);
    ASSERT_TRUE(test::waitUntil([&] { return lookedUp == QStringList { fresh }; }));
    for (int event = 0; event < 5; ++event) {
        EXPECT_EQ(ownOf(server.id, beta), 200);
    }
    ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
    EXPECT_GE(machine.listings, 2);
    // A session where none fits (an agent in an editor): its answer is kept just the same.
    const SessionAgentFinder::Session nowhere { resumed, { "/work/gamma", {} } };
    EXPECT_EQ(ownOf(server.id, nowhere), 900);
    ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
    for (int event = 0; event < 5; ++event) {
        EXPECT_EQ(ownOf(server.id, nowhere), 900);
    }
    ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
    EXPECT_EQ(finder.tiedAgent(fresh), processes[3].id);
    EXPECT_EQ(finder.tiedAgent(resumed), std::nullopt);
    // Where nothing tells, the jump's wait gives the processes it could not tell apart.
    const SessionAgentFinder::Verdict two
        = QCoro::waitFor(finder.verdict(server.id, { fresh.left(35) + u'7', { "/work/alpha", {} } }));
    EXPECT_EQ(two.agent, server.id);
    EXPECT_EQ(two.undecided, (std::vector<AgentProcessId> { first, third }));

    // Its own process ended and the session speaks on, resumed in another: never the server, the ended one stays its
    // own until a fresh look proves the one that names it.
    machine.running.erase(200);
    machine.running.emplace(250, process(250, "codex", true, "/work/beta", { QStringLiteral("resume"), fresh }));
    EXPECT_NE(ownOf(server.id, beta), 900);
    ASSERT_TRUE(test::waitUntil([&] { return finder.heldAgent(fresh)->agent.pid == 250; }));
    // A process held as its own before is kept while it runs, whatever server names the session next.
    machine.running.emplace(950, process(950, "codex", false, "/"));
    EXPECT_EQ(ownOf(machine.running[950].id, { fresh, beta.folders, AgentProcessId { 250, 2500 } }), 250);
    ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
    // A named process that is gone stays as named.
    EXPECT_EQ(ownOf(AgentProcessId { 777, 7770 }, beta), 777);
}

// An untied session ends for want of a window only where none is left for it. The window another session held as its
// likely one is let go at this session's word, though the list that word came with still shows it as the other's; and
// a window that started as the one before it ended is there, though a listing read across both shows neither.
TEST(SessionAgentFinderOwnAgent, AnUntiedSessionEndsForWantOfAWindowOnlyWhereNoneIsLeftForIt)
{
    Machine machine;
    const ProcessFacts window = process(200, "codex", true, "/work/beta");
    for (const ProcessFacts& p : { server, window }) {
        machine.running.emplace(p.id.pid, p);
    }
    test::FakeClock clock;
    SessionAgentFinder finder(clock);
    machine.install(finder);
    const SessionFolders beta { "/work/beta", {} };
    finder.ownAgent(server.id, { resumed, beta });
    ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
    ASSERT_EQ(finder.tiedAgent(resumed), window.id);

    const SessionAgentFinder::OtherSession listed { resumed, window.id, beta };
    const SessionAgentFinder::Session asking { fresh, beta, std::nullopt, { listed } };
    finder.ownAgent(server.id, asking);
    ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
    EXPECT_EQ(finder.tiedAgent(resumed), std::nullopt);
    EXPECT_FALSE(finder.nothingLeft(fresh));
    // Nor as time passes while a window runs there, even one read as the old one ended and it started; once none
    // is left, nothing is.
    const ProcessFacts next = process(201, "codex", true, "/work/beta");
    const struct {
        const char* what;
        std::vector<ProcessFacts> started;
        std::vector<ProcessFacts> ended;
        int torn;
        bool nothingLeft;
    } steps[] = {
        { "the window runs on", {}, {}, 0, false },
        { "another window started as it ended", { next }, { window }, 1, false },
        { "that one ended too", {}, { next }, 0, true },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        for (const ProcessFacts& p : step.started) {
            machine.running.emplace(p.id.pid, p);
        }
        for (const ProcessFacts& p : step.ended) {
            machine.running.erase(p.id.pid);
        }
        machine.torn = step.torn;
        clock.advance(SessionAgentFinder::recheckIntervalMs);
        finder.recheck(server.id, asking);
        ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
        EXPECT_EQ(finder.nothingLeft(fresh), step.nothingLeft);
    }
}

// A session ends for want of a window only where one that could have been its own was seen in its folder and is
// gone. A server without a terminal that runs sessions with no window beside them (an editor's, a headless run) keeps
// them however many it runs; so does one beside a window another session proves its own, whichever spoke first; and
// after a restart its record tells whether it had one.
TEST(SessionAgentFinderOwnAgent, OnlyASessionThatHadAWindowOfItsOwnEndsForWantOfOne)
{
    const ProcessFacts window = process(200, "codex", true, "/work/beta");
    const SessionFolders beta { "/work/beta", {} };
    // The window's own session: its agent runs its hooks itself, which proves the window its own.
    const SessionAgentFinder::OtherSession windows { resumed, window.id, beta };
    const SessionAgentFinder::OtherSession chat { QStringLiteral("chat-2"), server.id, beta };
    const struct {
        const char* what;
        std::vector<ProcessFacts> running;
        std::vector<SessionAgentFinder::OtherSession> othersAtFirst;
        std::vector<SessionAgentFinder::OtherSession> othersLater;
        std::vector<AgentProcessId> seenBefore; // as its record kept them over a restart
        bool nothingLeftAfterTheWindowCloses;
    } cases[] = {
        { "the server runs it alone, no window there", { server }, {}, {}, {}, false },
        { "the server runs two sessions there, no window there", { server }, { chat }, { chat }, {}, false },
        { "beside another session's window, that one listed first", { server, window }, { windows }, { windows }, {},
            false },
        { "beside another session's window, that one listed after it", { server, window }, {}, { windows }, {}, false },
        { "a window there that may be its own or the other chat's", { server, window }, { chat }, { chat }, {}, true },
        { "no window there since a restart, one gone before it kept in its record", { server }, {}, {},
            { AgentProcessId { 250, 2500 } }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine machine;
        for (const ProcessFacts& p : c.running) {
            machine.running.emplace(p.id.pid, p);
        }
        test::FakeClock clock;
        SessionAgentFinder finder(clock);
        machine.install(finder);
        SessionAgentFinder::Session asking { fresh, beta, std::nullopt, c.othersAtFirst, c.seenBefore };
        if (c.seenBefore.empty()) {
            finder.ownAgent(server.id, asking);
        }
        asking.others = c.othersLater;
        // Looks as time passes, while the window runs, and once it has closed.
        for (int look = 0; look < 6; ++look) {
            if (look == 3) {
                machine.running.erase(window.id.pid);
            }
            clock.advance(SessionAgentFinder::recheckIntervalMs);
            finder.recheck(server.id, asking);
            ASSERT_TRUE(test::waitUntil([&] { return finder.looksUnderWay() == 0; }));
            if (look < 3 && machine.running.contains(window.id.pid)) {
                EXPECT_FALSE(finder.nothingLeft(fresh)) << "look " << look;
            }
        }
        EXPECT_EQ(finder.nothingLeft(fresh), c.nothingLeftAfterTheWindowCloses);
    }
}

// An ended session whose server speaks again is started again where the fresh look finds, in its folder as the kernel
// names it (the agent may send it through a link), a codex started to resume a session without naming which that no
// other session owns; or where the look cannot tell in its time.
TEST(SessionAgentFinderLookAgain, AnEndedSessionIsStartedAgainByAResumeThatNamesNoSessionOrALookThatCannotTell)
{
    const QStringList last { QStringLiteral("resume"), QStringLiteral("--last") };
    const struct {
        const char* name;
        const char* sent; // the folder its event names
        QStringList arguments; // of the codex in /work/zeta
        bool stuck;
        bool startedAgain;
    } rows[] = {
        { "resumed without naming which", "/work/zeta", last, false, true },
        { "resumed without naming which, its folder sent through a link", "/link/zeta", last, false, true },
        { "another session resumed by its id", "/work/zeta", { QStringLiteral("resume"), resumed }, false, false },
        { "a new session", "/work/zeta", {}, false, false },
        { "a new session, the look never ends", "/work/zeta", {}, true, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::FakeClock clock;
        SessionAgentFinder finder(clock);
        Machine machine;
        machine.running.emplace(server.id.pid, server);
        machine.running.emplace(700, process(700, "codex", true, "/work/zeta", row.arguments));
        machine.install(finder);
        // Lets a stuck look go once the test is done with it.
        std::promise<void> gate;
        if (!row.stuck) {
            gate.set_value();
        }
        finder.listProcesses = [opened = gate.get_future().share(), list = finder.listProcesses](const QString& name) {
            opened.wait();
            return list(name);
        };
        finder.resolveFolder = [](const QString& folder) {
            return folder.startsWith(QStringLiteral("/link/")) ? QStringLiteral("/work") + folder.mid(5) : folder;
        };
        const SessionAgentFinder::Session ended { fresh,
            { QString::fromLatin1(row.sent), QString::fromLatin1(row.sent) }, std::nullopt,
            { { resumed, server.id, { "/work/beta", {} } } } };
        bool done = false;
        const auto looking = [&]() -> QCoro::Task<> {
            co_await finder.lookAgain(server.id, ended);
            done = true;
        };
        const QCoro::Task<> look = looking();
        if (row.stuck) {
            clock.advance(SessionAgentFinder::lookLimitMs);
        }
        EXPECT_TRUE(test::waitUntil([&] { return done; }));
        EXPECT_EQ(finder.startedAgain(fresh), row.startedAgain);
        if (row.stuck) {
            gate.set_value();
        }
        common::lookPool().waitForDone();
    }
}

// A folder on a mount that stopped answering holds its own thread and no other folder's: the folder beside it is
// resolved, and it is not asked again while it hangs, so the jump's next ask has its folders at once.
TEST(SessionAgentFinderFolders, AFolderThatDoesNotAnswerHoldsUpNoOtherFolder)
{
    test::FakeClock clock;
    SessionAgentFinder finder(clock);
    std::promise<void> gate;
    const auto deadAsked = std::make_shared<std::atomic_int>(0);
    const auto linksAnswered = std::make_shared<std::atomic_int>(0);
    finder.resolveFolder = [opened = gate.get_future().share(), deadAsked, linksAnswered](const QString& folder) {
        if (folder.startsWith(QStringLiteral("/dead/"))) {
            ++*deadAsked;
            opened.wait();
            return folder;
        }
        ++*linksAnswered;
        return QStringLiteral("/work") + folder.mid(5);
    };
    const SessionFolders sent { "/dead/alpha", "/link/beta" };
    for (const bool first : { true, false }) {
        SCOPED_TRACE(first ? "first ask" : "asked again");
        std::optional<SessionFolders> got;
        const auto asking = [&]() -> QCoro::Task<> { got = co_await finder.resolvedFolders(sent); };
        const QCoro::Task<> ask = asking();
        if (first) {
            ASSERT_TRUE(test::waitUntil([&] { return *deadAsked == 1 && *linksAnswered == 1; }));
            clock.advance(SessionAgentFinder::lookLimitMs);
        }
        ASSERT_TRUE(test::waitUntil([&] { return got.has_value(); }));
        if (!first) {
            EXPECT_EQ(*got, (SessionFolders { "/dead/alpha", "/work/beta" }));
        }
    }
    EXPECT_EQ(*deadAsked, 1);
    gate.set_value();
}

TEST(SessionAgentFinderKernel, ReadsAProcessAsTheKernelShowsIt)
{
    const qint64 pid = QCoreApplication::applicationPid();
    const std::optional<ProcessFacts> me = SessionAgentFinder::kernelProcess(pid);
    ASSERT_TRUE(me);
    EXPECT_EQ(me->id, AgentProcessId::ofPid(pid));
    EXPECT_EQ(me->cwd, QDir::current().canonicalPath());
    EXPECT_TRUE(me->arguments.value(0).endsWith(QCoreApplication::applicationFilePath().section(u'/', -1)));
    EXPECT_LE(me->startedMs, QDateTime::currentMSecsSinceEpoch());
    const std::vector<ProcessFacts> sameName = SessionAgentFinder::kernelProcesses(me->name);
    EXPECT_TRUE(std::any_of(
        sameName.begin(), sameName.end(), [&](const ProcessFacts& p) { return p.id == me->id && p.cwd == me->cwd; }));
}

} // namespace
} // namespace murmeli::hooks
