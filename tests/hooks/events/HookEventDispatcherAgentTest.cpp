#include "main/hooks/events/HookEventDispatcher.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

namespace murmeli::hooks {
namespace {

QString idOf(char session)
{
    return QStringLiteral("%1aaaaaaa-0000-4000-8000-000000000000").arg(QLatin1Char(session));
}

enum class Op { Start, End, Poll, Speak, Ask, Restored, Recheck, Expect };
struct Step {
    Op op;
    char who; // a process ('S' is the server), or a session ('1', '2', ...)
    QStringList arguments {}; // Start: after the program's name; Speak, Ask: the process that ran the hook, else 'S'
    char agent = 0; // Expect: the process held as the session's own, '-' where it is not listed; Restored: as recorded
};

// Codex's processes as the kernel would tell of them: sleeping stand-ins with the facts given here, in one folder, the
// server among them without a terminal; the poll ends a session whose process is gone, as the sessions' road does.
struct Machine {
    Machine()
    {
        m_dispatcher.agentFinder.readProcess = [this](qint64 pid) { return factsOf(pid); };
        m_dispatcher.agentFinder.listProcesses = [this](const QString&) {
            std::vector<ProcessFacts> found;
            const std::lock_guard lock(m_mutex);
            for (const auto& [pid, facts] : m_table) {
                found.push_back(facts);
            }
            return found;
        };
        start('S', {}, false);
    }
    ~Machine()
    {
        // A look still under way reads the table.
        test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; });
        for (const auto& [label, process] : m_running) {
            process->kill();
            process->waitForFinished();
        }
    }

    std::optional<ProcessFacts> factsOf(qint64 pid)
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_table.find(pid);
        return found != m_table.end() ? std::optional(found->second) : std::nullopt;
    }
    void start(char label, const QStringList& arguments, bool terminal = true)
    {
        auto& process = m_running[label] = std::make_unique<QProcess>();
        process->start(QStringLiteral("sleep"), { QStringLiteral("600") });
        ASSERT_TRUE(process->waitForStarted());
        const AgentProcessId id = AgentProcessId::ofPid(process->processId()).value_or(AgentProcessId {});
        m_ids[label] = id;
        const std::lock_guard lock(m_mutex);
        m_table[id.pid] = { id, QStringLiteral("codex"), terminal, m_folder.path(),
            QStringList { QStringLiteral("codex") } + arguments };
    }
    void end(char label)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_table.erase(m_ids[label].pid);
        }
        m_running[label]->kill();
        m_running[label]->waitForFinished();
    }
    void speak(char session, char agent, const QString& event = QStringLiteral("PostToolUse"))
    {
        const AgentProcessId named = m_ids[agent];
        const QJsonObject payload { { "session_id", idOf(session) }, { "cwd", m_folder.path() },
            { "tool_name", "Bash" }, { "tool_use_id", "tu-" + idOf(session) },
            { "_murmeli_agent_process", named.pidText() + u' ' + QString::number(named.startTicks) } };
        QCoro::waitFor(m_dispatcher.prepare(event, payload));
        m_dispatcher.dispatch(event, payload);
        ASSERT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));
        m_dispatcher.flush();
    }
    // Listed from its record after a restart, its hooks run by the server, with the process it was tied to: the finder
    // has not heard of it.
    void restored(char session, char agent)
    {
        const std::optional<SessionKey> key = m_registry.keyFor(idOf(session));
        ASSERT_TRUE(key);
        m_registry.addSession(*key, m_folder.path(), QStringLiteral("codex"));
        m_registry.setHookFolder(*key, m_folder.path());
        m_registry.setHookAgent(*key, m_ids[agent], m_ids['S']);
    }
    // As time passes without a word of the sessions.
    void recheck()
    {
        m_dispatcher.recheckAgents();
        ASSERT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));
    }
    void poll()
    {
        std::vector<SessionKey> gone;
        for (const SessionSnapshot& listed : m_registry.sessions()) {
            if (listed.hookAgent && !listed.hookAgent->isRunning()) {
                gone.push_back(listed.sid8);
            }
        }
        for (const SessionKey& key : gone) {
            m_dispatcher.endSession(key, true);
        }
    }
    char agentOf(char session)
    {
        m_registry.refresh();
        for (const SessionSnapshot& listed : m_registry.sessions()) {
            if (m_registry.idOf(listed.sid8) == idOf(session)) {
                for (const auto& [label, id] : m_ids) {
                    if (listed.hookAgent == id) {
                        return label;
                    }
                }
                return '?';
            }
        }
        return '-';
    }

    QTemporaryDir m_root;
    QTemporaryDir m_folder;
    hooks::StatusDirectory m_status { m_root.filePath("status") };
    test::FakeClock m_clock;
    hooks::SessionRegistry m_registry { m_status, m_clock, m_root.filePath("legacy-status.json") };
    hooks::SessionFileWriter m_files { m_status };
    HookEventDispatcher m_dispatcher { m_registry, m_files, m_clock };
    std::mutex m_mutex; // the finder reads the table from its worker
    std::map<qint64, ProcessFacts> m_table;
    std::map<char, std::unique_ptr<QProcess>> m_running;
    std::map<char, AgentProcessId> m_ids;
};

// Sessions whose hooks a server runs are tied to a process of their own only by its proof (its arguments name the
// session) or as the likely one (alone in the folder when the session first spoke, while no other session of the
// server works there, and only while that lasts); a tie passes on only by proof, and its process's end ends the
// session. Nothing else ties one: where nothing does, no death ends it. A late word of an ended session's turn brings
// nothing back, but a request does: its agent waits for the answer, so the session was resumed somewhere.
TEST(HookEventDispatcherAgentTest, ASessionIsTiedToItsOwnProcessOnlyByProofOrWhileItIsTheLikelyOne)
{
    using enum Op;
    const QStringList resume1 { QStringLiteral("resume"), idOf('1') };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        { "two in one folder: one resumed by its id, the other starts a new session",
            { { Start, 'A' }, { Start, 'B' }, { Speak, '1' }, { Speak, '2' }, { Expect, '1', {}, 'S' }, { End, 'B' },
                { Start, 'C', { QStringLiteral("resume"), idOf('2') } }, { Speak, '2' }, { Expect, '2', {}, 'C' },
                { Speak, '3' }, { Expect, '3', {}, 'S' }, { End, 'A' }, { Poll, 0 }, { Expect, '1', {}, 'S' },
                { Expect, '2', {}, 'C' }, { Expect, '3', {}, 'S' }, { End, 'C' }, { Poll, 0 }, { Expect, '2', {}, '-' },
                { Expect, '3', {}, 'S' } } },
        { "a lone window's own session speaks after one the server runs alone",
            { { Start, 'W' }, { Speak, '1' }, { Expect, '1', {}, 'W' }, { Speak, '2' }, { Expect, '1', {}, 'S' },
                { Expect, '2', {}, 'S' }, { End, 'W' }, { Poll, 0 }, { Expect, '1', {}, 'S' },
                { Expect, '2', {}, 'S' } } },
        { "another window starts beside the likely one",
            { { Start, 'W' }, { Speak, '1' }, { Start, 'X' }, { Speak, '1' }, { Expect, '1', {}, 'S' }, { End, 'W' },
                { Poll, 0 }, { Expect, '1', {}, 'S' } } },
        { "late events after its proven process ended",
            { { Start, 'P', resume1 }, { Speak, '1' }, { Expect, '1', {}, 'P' }, { End, 'P' }, { Speak, '1' },
                { Expect, '1', {}, 'P' }, { Start, 'Q' }, { Speak, '1' }, { Expect, '1', {}, 'P' }, { Poll, 0 },
                { Expect, '1', {}, '-' }, { Speak, '1' }, { Speak, '1' }, { Expect, '1', {}, '-' } } },
        { "ended with the agent that ran its hooks, then the server speaks for it",
            { { Start, 'T' }, { Speak, '1', { QStringLiteral("T") } }, { Expect, '1', {}, 'T' }, { End, 'T' },
                { Poll, 0 }, { Speak, '1' }, { Expect, '1', {}, '-' } } },
        { "two started to resume it by its id prove neither, and the end of one ends nothing",
            { { Start, 'P', resume1 }, { Start, 'Q', resume1 }, { Speak, '1' }, { Expect, '1', {}, 'S' }, { End, 'P' },
                { Poll, 0 }, { Expect, '1', {}, 'S' } } },
        { "a prompt's words are no resume; its id as an argument is",
            { { Start, 'P', resume1 }, { Speak, '1' }, { End, 'P' }, { Poll, 0 },
                { Start, 'Q', { QStringLiteral("fix the resume button") } }, { Speak, '1' }, { Speak, '1' },
                { Expect, '1', {}, '-' }, { Start, 'R', resume1 }, { Speak, '1' }, { Expect, '1', {}, 'R' } } },
        { "restarted, held as the likely one while it stays alone",
            { { Start, 'W' }, { Restored, '1', {}, 'W' }, { Recheck, 0 }, { Expect, '1', {}, 'W' } } },
        { "restarted, held as the likely one, another window starts beside it",
            { { Start, 'W' }, { Restored, '1', {}, 'W' }, { Start, 'X' }, { Recheck, 0 }, { Expect, '1', {}, 'S' },
                { End, 'W' }, { Poll, 0 }, { Expect, '1', {}, 'S' } } },
        { "its server asks for it after its proven process ended",
            { { Start, 'P', resume1 }, { Speak, '1' }, { End, 'P' }, { Poll, 0 }, { Speak, '1' },
                { Expect, '1', {}, '-' }, { Ask, '1' }, { Expect, '1', {}, 'S' } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        for (const Step& step : c.steps) {
            switch (step.op) {
            case Start:
                machine.start(step.who, step.arguments);
                break;
            case End:
                machine.end(step.who);
                break;
            case Poll:
                machine.poll();
                break;
            case Restored:
                machine.restored(step.who, step.agent);
                break;
            case Recheck:
                machine.recheck();
                break;
            case Speak:
            case Ask:
                machine.speak(step.who, step.arguments.isEmpty() ? 'S' : step.arguments.front().front().toLatin1(),
                    step.op == Ask ? QStringLiteral("PermissionRequest") : QStringLiteral("PostToolUse"));
                break;
            case Expect:
                EXPECT_EQ(machine.agentOf(step.who), step.agent) << "session " << step.who;
                break;
            }
        }
    }
}

} // namespace
} // namespace murmeli::hooks
