#include "main/hooks/events/HookEventDispatcher.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>
#include <unistd.h>

#include "main/hooks/status/ClaudeStatus.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

namespace murmeli::hooks {

namespace {

using common::LogColor;
using hooks::ClaudeStatus;

const QString longId = QStringLiteral("abcdef12-3456-4890-abcd-ef1234567890");
const QString key = QStringLiteral("abcdef12");

class HookEventDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_dispatcher.onLog = [this](const QString& message, LogColor color) { m_logs.emplace_back(message, color); };
    }

    QString file(const QString& name) const { return m_status.path() + '/' + name; }

    QByteArray contents(const QString& name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QJsonObject json(const QString& name) const { return QJsonDocument::fromJson(contents(name)).object(); }

    void writeStatus(const QString& sessionKey)
    {
        ASSERT_TRUE(m_status.prepare());
        QFile f(file(sessionKey + "-status.json"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{}");
    }

    std::optional<ClaudeStatus> readBack(const QString& sessionKey) const
    {
        return ClaudeStatus::read(sessionKey, m_status.path(), m_clock);
    }

    qint64 nowSecs() const { return m_clock.now().toSecsSinceEpoch(); }

    const hooks::SessionSnapshot* session(const QString& sessionKey) const
    {
        for (const auto& s : m_registry.sessions()) {
            if (s.sid8.text() == sessionKey) {
                return &s;
            }
        }
        return nullptr;
    }

    QStringList allFiles() const { return murmeli::test::filesUnder(m_root.path()); }

    QTemporaryDir m_root;
    // Two levels deep, so a key that climbs out of it still lands inside the temporary root.
    hooks::StatusDirectory m_status { m_root.filePath("a/b/status") };
    // An hour behind real time, so a time stamp taken from the wrong clock shows; the registry, which compares the
    // clock with real file times, still sees fresh files as fresh.
    test::FakeClock m_clock { QDateTime::currentDateTimeUtc().addSecs(-3600) };
    hooks::SessionRegistry m_registry { m_status, m_clock, m_root.filePath("legacy-status.json") };
    hooks::SessionFileWriter m_files { m_status };
    HookEventDispatcher m_dispatcher { m_registry, m_files, m_clock };

    // As the controller does: the event, then its files.
    bool dispatch(const QString& eventName, const QJsonObject& payload)
    {
        const bool changed = m_dispatcher.dispatch(eventName, payload);
        m_dispatcher.flush();
        return changed;
    }
    std::vector<std::pair<QString, LogColor>> m_logs;
};

TEST_F(HookEventDispatcherTest, PostToolUseRecordsTheActivityAtTheClocksTime)
{
    writeStatus(key);
    dispatch("PostToolUse",
        { { "session_id", longId }, { "cwd", "/home/u/proj/" }, { "tool_name", "Bash" },
            { "tool_input", QJsonObject { { "command", "make test" } } }, { "transcript_path", "/home/u/t.jsonl" } });

    const QJsonObject activity = json(key + "-activity.json");
    EXPECT_EQ(activity.value("activity").toString(), "make test");
    EXPECT_EQ(activity.value("tool").toString(), "Bash");
    EXPECT_EQ(activity.value("ts").toInteger(), nowSecs());
    EXPECT_EQ(activity.value("session").toString(), key);
    EXPECT_EQ(activity.value("project").toString(), "proj");
    EXPECT_EQ(contents(key + "-transcript-path.txt"), "/home/u/t.jsonl");
    EXPECT_FALSE(QFile::exists(file(key + "-notify.json")));
    EXPECT_NE(session(key), nullptr);

    auto status = readBack(key);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->activity, "make test");
    EXPECT_EQ(status->activityTool, "Bash");
    EXPECT_EQ(status->transcriptPath, "/home/u/t.jsonl");

    m_clock.advance(ClaudeStatus::activityExpirySeconds * 1000);
    status = readBack(key);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->activity, "");
}

TEST_F(HookEventDispatcherTest, NotificationsWriteOnlyPermissionAndIdleNotices)
{
    struct Case {
        const char* id;
        const char* kind;
        const char* written;
    };
    for (const Case c : { Case { "perm0001", "permission_prompt", "permission" },
             Case { "idle0001", "idle_prompt", "idle" }, Case { "auth0001", "auth_success", nullptr } }) {
        SCOPED_TRACE(c.kind);
        writeStatus(c.id);
        dispatch("Notification",
            { { "session_id", c.id }, { "notification_type", c.kind }, { "message", "Claude needs you" },
                { "cwd", "/w/proj" } });
        const QString name = QString::fromLatin1(c.id) + "-notify.json";
        if (!c.written) {
            EXPECT_FALSE(QFile::exists(file(name)));
            continue;
        }
        const QJsonObject notify = json(name);
        EXPECT_EQ(notify.value("type").toString(), c.written);
        EXPECT_EQ(notify.value("message").toString(), "Claude needs you");
        EXPECT_EQ(notify.value("ts").toInteger(), nowSecs());
        EXPECT_EQ(notify.value("project").toString(), "proj");
    }

    const auto permission = readBack("perm0001");
    ASSERT_TRUE(permission);
    EXPECT_TRUE(permission->needsAttention);
    EXPECT_EQ(permission->pendingMessage, "Claude needs you");
    EXPECT_FALSE(permission->isWorkingEffective({}, nowSecs()));
    EXPECT_TRUE(session("perm0001")->isPendingApproval);

    const auto idle = readBack("idle0001");
    ASSERT_TRUE(idle);
    EXPECT_TRUE(idle->isIdle);
    EXPECT_FALSE(idle->needsAttention);
}

TEST_F(HookEventDispatcherTest, FailuresWriteErrorNotices)
{
    writeStatus(key);
    dispatch("PostToolUseFailure",
        { { "session_id", longId }, { "tool_name", "Bash" }, { "tool_input", QJsonObject { { "command", "false" } } },
            { "error", "exit status 1" } });
    EXPECT_EQ(json(key + "-activity.json").value("activity").toString(), "false");
    EXPECT_EQ(json(key + "-notify.json").value("type").toString(), "error");
    EXPECT_EQ(json(key + "-notify.json").value("message").toString(), "exit status 1");

    dispatch("StopFailure", { { "session_id", longId }, { "error", "rate limited" } });
    EXPECT_EQ(json(key + "-notify.json").value("type").toString(), "error");
    const auto status = readBack(key);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->pendingMessage, "rate limited");
    EXPECT_FALSE(status->needsAttention || status->isIdle || status->isWorkingSignal || status->isCompact);
}

TEST_F(HookEventDispatcherTest, KeyComesFromTheFirstStringIdField)
{
    dispatch("Notification",
        { { "session_id", 42 }, { "sessionId", "zyxwvuts-rest" }, { "notification_type", "idle_prompt" } });
    EXPECT_EQ(json("zyxwvuts-notify.json").value("type").toString(), "idle");
    EXPECT_NE(session("zyxwvuts"), nullptr);
    dispatch("Notification",
        { { "id", "idididid" }, { "agentId", "agentIdX" }, { "sessionId", "second22" }, { "session_id", "first111-x" },
            { "notification_type", "idle_prompt" } });
    EXPECT_TRUE(QFile::exists(file("first111-notify.json")));

    // No id at all: nobody to write for.
    dispatch("PostToolUse", { { "tool_name", "Bash" }, { "transcript_path", "/t.jsonl" } });
    EXPECT_EQ(allFiles(),
        QStringList({ "a/b/status/first111-notify.json", "a/b/status/first111-session.json",
            "a/b/status/zyxwvuts-notify.json", "a/b/status/zyxwvuts-session.json" }));
    EXPECT_EQ(m_registry.sessions().size(), 2u);
}

TEST_F(HookEventDispatcherTest, UnsafeKeyTouchesNothing)
{
    // Where "../../et" would lead from the status directory.
    ASSERT_TRUE(QDir().mkpath(m_root.filePath("a")));
    QFile bait(m_root.filePath("a/et-status.json"));
    ASSERT_TRUE(bait.open(QIODevice::WriteOnly));
    bait.write("{\"keep\":1}");
    bait.close();

    for (const QString& id : { QStringLiteral("../../etc/passwd"), QStringLiteral("ab/cdefgh") }) {
        for (const char* event : { "SessionStart", "PostToolUse", "Notification", "StopFailure", "SessionEnd" }) {
            SCOPED_TRACE(id.toStdString() + " " + event);
            m_logs.clear();
            EXPECT_FALSE(dispatch(event,
                { { "session_id", id }, { "notification_type", "permission_prompt" }, { "tool_name", "Bash" },
                    { "transcript_path", "/t.jsonl" } }));
            ASSERT_EQ(m_logs.size(), 1u);
            EXPECT_TRUE(m_logs[0].first.startsWith("[hook-diag]")) << m_logs[0].first.toStdString();
            EXPECT_EQ(m_logs[0].second, LogColor::Orange);
        }
    }
    EXPECT_TRUE(m_registry.sessions().empty());
    EXPECT_EQ(allFiles(), QStringList({ "a/et-status.json" }));
    ASSERT_TRUE(bait.open(QIODevice::ReadOnly));
    EXPECT_EQ(bait.readAll(), "{\"keep\":1}");
}

TEST_F(HookEventDispatcherTest, SessionStartAnnouncesAnInMemorySessionWithItsAdapter)
{
    dispatch("SessionStart", { { "session_id", longId }, { "cwd", "/w/p" }, { "_murmeli_adapter", "gemini" } });
    ASSERT_NE(session(key), nullptr);
    EXPECT_TRUE(session(key)->inMemoryOnly);
    EXPECT_EQ(session(key)->adapter, "gemini");
    // Only murmeli's own record of it, so that a restart finds it again.
    EXPECT_EQ(allFiles(), QStringList { "a/b/status/abcdef12-session.json" });

    // Later events of a known session leave the announcement as it was.
    dispatch("PostToolUse", { { "session_id", longId }, { "tool_name", "Read" } });
    ASSERT_NE(session(key), nullptr);
    EXPECT_EQ(session(key)->adapter, "gemini");
    EXPECT_EQ(m_registry.sessions().size(), 1u);
}

TEST_F(HookEventDispatcherTest, SessionEndRemovesTheSessionAndItsFiles)
{
    writeStatus(key);
    writeStatus("other123");
    const QJsonObject base { { "session_id", longId }, { "transcript_path", "/t.jsonl" } };
    dispatch("PostToolUse", base);
    QJsonObject prompt = base;
    prompt.insert("notification_type", "permission_prompt");
    dispatch("Notification", prompt);
    dispatch("PostToolUse", { { "session_id", "other123" }, { "tool_name", "Read" } });
    ASSERT_EQ(allFiles().size(), 8);

    dispatch("SessionEnd", { { "session_id", longId } });
    EXPECT_EQ(allFiles(),
        QStringList({ "a/b/status/other123-activity.json", "a/b/status/other123-session.json",
            "a/b/status/other123-status.json" }));
    EXPECT_EQ(session(key), nullptr);
    EXPECT_NE(session("other123"), nullptr);
    EXPECT_FALSE(readBack(key));
    // The log says why its row left, once: a repeated end finds nothing to end.
    dispatch("SessionEnd", { { "session_id", longId } });
    const auto ended = std::count_if(m_logs.begin(), m_logs.end(), [](const auto& line) {
        return line.first == QStringLiteral("Sessions: %1 ended: its agent said so").arg(key);
    });
    EXPECT_EQ(ended, 1);
}

// An agent's status line may still write the older shared status file, or the session's own, after the session
// ended: neither brings the ended session back, while a session that never ended is still taken from the shared file.
TEST_F(HookEventDispatcherTest, AnEndedSessionStaysGoneWhicheverStatusFileStillNamesIt)
{
    const QString legacy = m_root.filePath("legacy-status.json");
    const struct {
        const char* what;
        QString ended;
        QString sharedFileNames; // the session the shared status file names; empty: no such file
        bool ownFileAgain;
        QStringList listed;
    } cases[] = {
        { "the shared status file names it", "e1e1e1e1-0000-4000-8000-000000000001",
            "e1e1e1e1-0000-4000-8000-000000000001", false, {} },
        { "its own status file is written again", "e2e2e2e2-0000-4000-8000-000000000002", {}, true, {} },
        { "the shared status file names a session that goes on", "e3e3e3e3-0000-4000-8000-000000000003",
            "a0a0a0a0-0000-4000-8000-00000000000a", false, { "a0a0a0a0" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString endedKey = c.ended.left(8);
        writeStatus(endedKey);
        dispatch("PostToolUse", { { "session_id", c.ended }, { "tool_name", "Read" } });
        ASSERT_NE(session(endedKey), nullptr);
        dispatch("SessionEnd", { { "session_id", c.ended } });
        ASSERT_EQ(session(endedKey), nullptr);

        if (!c.sharedFileNames.isEmpty()) {
            QFile shared(legacy);
            ASSERT_TRUE(shared.open(QIODevice::WriteOnly | QIODevice::Truncate));
            shared.write(QJsonDocument(QJsonObject { { "session_id", c.sharedFileNames } }).toJson());
        }
        if (c.ownFileAgain) {
            writeStatus(endedKey);
        }
        m_registry.refresh();
        QStringList listed;
        for (const auto& s : m_registry.sessions()) {
            listed << s.sid8.text();
        }
        EXPECT_EQ(listed.join(' ').toStdString(), c.listed.join(' ').toStdString());
        EXPECT_FALSE(QFile::exists(file(endedKey + "-status.json"))) << "the ended session's status file";

        QFile::remove(legacy);
        QDir(m_status.path()).removeRecursively();
        m_registry.refresh();
        ASSERT_TRUE(m_registry.sessions().empty());
    }
}

TEST_F(HookEventDispatcherTest, NothingIsReadWrittenOrDeletedThroughARefusedDirectory)
{
    // A link to a place someone else chose, and (where the test may hand it over) a directory of another user;
    // either holds a session's files, which must stay as they are.
    struct Setup {
        QString directory;
        QString files;
    };
    std::vector<Setup> setups { { m_root.filePath("linked"), m_root.filePath("elsewhere") } };
    ASSERT_TRUE(QDir().mkpath(setups[0].files));
    ASSERT_TRUE(QFile::link(setups[0].files, setups[0].directory));
    if (::getuid() == 0) {
        setups.push_back({ m_root.filePath("foreign"), m_root.filePath("foreign") });
        ASSERT_TRUE(QDir().mkpath(setups[1].files));
    }
    for (const Setup& setup : setups) {
        SCOPED_TRACE(setup.directory.toStdString());
        for (const char* name : { "abcdef12-status.json", "abcdef12-notify.json" }) {
            QFile f(setup.files + '/' + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(R"({"type":"permission"})");
        }
        if (setup.directory == setup.files) {
            ASSERT_EQ(::chown(QFile::encodeName(setup.directory).constData(), 65534, 65534), 0);
        }
        const hooks::StatusDirectory refused(setup.directory);
        hooks::SessionRegistry registry { refused, m_clock, m_root.filePath("legacy-status.json") };
        hooks::SessionFileWriter files { refused };
        HookEventDispatcher dispatcher { registry, files, m_clock };

        registry.refresh();
        EXPECT_TRUE(registry.sessions().empty());
        dispatcher.dispatch(
            "PostToolUse", { { "session_id", longId }, { "tool_name", "Bash" }, { "transcript_path", "/t" } });
        dispatcher.flush();
        ASSERT_EQ(registry.sessions().size(), 1u);
        EXPECT_TRUE(registry.sessions().front().inMemoryOnly) << "the refused directory's status file was read";
        files.clearNotify(*hooks::SessionKey::fromFileKey(key));
        dispatcher.dispatch("SessionEnd", { { "session_id", longId } });
        EXPECT_EQ(test::filesUnder(setup.files), QStringList({ "abcdef12-notify.json", "abcdef12-status.json" }));
        EXPECT_EQ(test::readFile(setup.files + "/abcdef12-notify.json"), R"({"type":"permission"})");
    }
}

TEST_F(HookEventDispatcherTest, AFloodOfSessionIdsStaysWithinTheRegistrysBound)
{
    QStringList lines;
    m_registry.onLog = [&](const QString& line) { lines << line; };
    const QString longText(5000, QChar(0x00e9));
    const int flood = 15'000;
    for (int i = 0; i < flood; ++i) {
        const QString id = QStringLiteral("%1-flood").arg(i, 8, 10, QLatin1Char('0'));
        m_dispatcher.dispatch("SessionStart", { { "session_id", id }, { "transcript_path", "/t.jsonl" } });
        m_dispatcher.dispatch("Stop", { { "session_id", id }, { "last_assistant_message", longText } });
    }
    m_dispatcher.flush();

    const std::size_t bound = hooks::SessionRegistry::maxSessions;
    ASSERT_EQ(m_registry.sessions().size(), bound);
    // Files only for the sessions taken in (a transcript path and a record each); a line per session taken in, and
    // one for all those refused.
    EXPECT_EQ(allFiles().size(), 2 * qsizetype(bound));
    EXPECT_EQ(lines.filter("refused").size(), 1) << lines.filter("refused").join('\n').toStdString();
    EXPECT_LE(lines.size(), qsizetype(bound) + 1);
    EXPECT_LT(lines.join('\n').toUtf8().size(), 100'000);
    EXPECT_TRUE(lines.filter(" active [").last().endsWith(QStringLiteral("\u2026 +%1 more]").arg(bound - 20)));
    const QString kept = m_registry.sessions().front().hookLastAssistant;
    EXPECT_EQ(kept.size(), hooks::SessionRegistry::maxHookTextCharacters);
    EXPECT_TRUE(kept.endsWith(QChar(0x2026)));

    // Expired sessions take their texts with them and make room again.
    m_clock.advance(hooks::SessionRegistry::sessionSafetyWindowSeconds * 1000);
    m_registry.refresh();
    EXPECT_TRUE(m_registry.sessions().empty());
    dispatch("SessionStart", { { "session_id", "00000000-flood" } });
    ASSERT_NE(session("00000000"), nullptr);
    EXPECT_TRUE(session("00000000")->hookLastAssistant.isEmpty());
}

TEST_F(HookEventDispatcherTest, TitleAndLastAssistantTextAreTrimmed)
{
    dispatch("SessionStart", { { "session_id", longId } });
    dispatch("UserPromptSubmit",
        { { "session_id", longId },
            { "hookSpecificOutput", QJsonObject { { "sessionTitle", "  Fix the build \n" } } } });
    dispatch("Stop", { { "session_id", longId }, { "last_assistant_message", "\n  Done. \n" } });
    ASSERT_NE(session(key), nullptr);
    EXPECT_EQ(session(key)->hookSessionTitle, "Fix the build");
    EXPECT_EQ(session(key)->hookLastAssistant, "Done.");

    // A blank message keeps the last one, and both survive the entry being re-read from its files.
    writeStatus(key);
    dispatch("Stop", { { "session_id", longId }, { "last_assistant_message", " \n\t " } });
    ASSERT_NE(session(key), nullptr);
    EXPECT_FALSE(session(key)->inMemoryOnly);
    EXPECT_EQ(session(key)->hookSessionTitle, "Fix the build");
    EXPECT_EQ(session(key)->hookLastAssistant, "Done.");
}

TEST_F(HookEventDispatcherTest, ABurstWritesTheLatestOfEachFileOnce)
{
    m_dispatcher.dispatch("PostToolUse", { { "session_id", "burst123" }, { "tool_name", "Read" } });
    m_dispatcher.dispatch("PostToolUse", { { "session_id", "burst123" }, { "tool_name", "Bash" } });
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("burst123-activity.json"))));
    EXPECT_TRUE(m_dispatcher.flush());
    QFile file(this->file(QStringLiteral("burst123-activity.json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("tool")).toString(),
        QStringLiteral("Bash"));
    EXPECT_FALSE(m_dispatcher.flush());
}

// Claude Code runs its status line every few minutes while a session is idle, and says once that it waits for the
// user's input: no activity, so the row neither says "now" nor moves up the list, whatever the notice's file says.
// Events are activity, and so is a permission prompt.
TEST_F(HookEventDispatcherTest, AnIdleStatusLineIsNoActivityButAnEventIs)
{
    const struct {
        const char* event;
        const char* notification;
        bool moves;
    } cases[] = { { "status", "", false }, { "Notification", "idle_prompt", false }, { "UserPromptSubmit", "", true },
        { "Stop", "", true }, { "Notification", "permission_prompt", true } };
    char n = 'a';
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.event) + " " + c.notification);
        const QString idleKey = QString(8, QChar(n++)), busyKey = QString(8, QChar(n++));
        dispatch("UserPromptSubmit", { { "session_id", idleKey + "-idle" } });
        const QDateTime idleSince = m_clock.now();
        m_clock.advance(60'000);
        dispatch("SessionStart", { { "session_id", busyKey + "-busy" } });
        m_clock.advance(5 * 60'000);
        dispatch(c.event,
            { { "session_id", idleKey + "-idle" }, { "model", QJsonObject { { "display_name", "Opus" } } },
                { "notification_type", c.notification }, { "message", "Claude is waiting for your input" } });
        m_registry.refresh();
        EXPECT_EQ(m_registry.sessions().front().sid8.text().toStdString(), (c.moves ? idleKey : busyKey).toStdString());
        // The notice's file carries the real time, an hour ahead of the test's clock.
        const QDateTime freshest = session(idleKey)->freshestMtime();
        if (c.moves) {
            EXPECT_GE(freshest, m_clock.now());
        } else {
            EXPECT_EQ(freshest.toString(Qt::ISODateWithMs).toStdString(),
                idleSince.toString(Qt::ISODateWithMs).toStdString());
        }
    }
}

// What a gone agent still had on its way neither lists its ended session again nor leaves a record a restart would
// list; a new start (a resume) does, and so does any event but a status line where the agent said the session ended.
TEST_F(HookEventDispatcherTest, AnEndedSessionStaysEndedUntilItStartsAgain)
{
    const struct {
        bool agentGone;
        const char* event;
        bool listedAgain;
    } cases[] = { { true, "PostToolUse", false }, { true, "Stop", false }, { true, "status", false },
        { true, "SessionStart", true }, { false, "status", false }, { false, "UserPromptSubmit", true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.event) + (c.agentGone ? " after its agent went" : " after its end"));
        dispatch("PostToolUse", { { "session_id", longId }, { "tool_name", "Read" } });
        if (c.agentGone) {
            m_dispatcher.endSession(*SessionKey::fromFileKey(key), true);
        } else {
            dispatch("SessionEnd", { { "session_id", longId } });
        }
        dispatch(c.event, { { "session_id", longId }, { "tool_name", "Read" } });
        m_registry.refresh();
        EXPECT_EQ(session(key) != nullptr, c.listedAgain);
        EXPECT_EQ(QFile::exists(file(key + "-session.json")), c.listedAgain);
        dispatch("SessionEnd", { { "session_id", longId } });
    }
}

// Codex runs every session's hooks from one server without a terminal. A session whose own terminal closed ended with
// it; the server runs on and sends what it still had of it, which brings nothing back, not even after its SessionEnd.
// `codex resume <id>` in another terminal runs the session again, through the same server and without a start: its
// first event waits for a look through the processes, which proves the new one its own, and lists it again, tied to
// that process.
TEST_F(HookEventDispatcherTest, ASessionOfASharedServerComesBackWhenANewProcessOfItsOwnRunsIt)
{
    const QString folder = m_root.filePath("alpha");
    ASSERT_TRUE(QDir().mkpath(folder));
    // Sleeping stand-ins, as the kernel would tell of Codex's processes; the table changes only between looks.
    std::vector<std::unique_ptr<QProcess>> running;
    const auto stop = qScopeGuard([&] {
        for (const auto& process : running) {
            process->kill();
            process->waitForFinished();
        }
    });
    std::map<qint64, ProcessFacts> table;
    const auto start = [&](bool terminal, const QString& arguments) {
        auto& process = running.emplace_back(std::make_unique<QProcess>());
        process->start(QStringLiteral("sleep"), { QStringLiteral("600") });
        EXPECT_TRUE(process->waitForStarted());
        const AgentProcessId id = AgentProcessId::ofPid(process->processId()).value_or(AgentProcessId {});
        table[id.pid] = { id, QStringLiteral("codex"), terminal, folder,
            QStringList { QStringLiteral("codex") } + arguments.split(u' ', Qt::SkipEmptyParts) };
        return id;
    };
    const auto facts = [&table](qint64 pid) -> std::optional<ProcessFacts> {
        const auto found = table.find(pid);
        return found != table.end() && found->second.id.isRunning() ? std::optional(found->second) : std::nullopt;
    };
    m_dispatcher.agentFinder.readProcess = facts;
    m_dispatcher.agentFinder.listProcesses = [&table, facts](const QString&) {
        std::vector<ProcessFacts> found;
        for (const auto& [pid, process] : table) {
            if (facts(pid)) {
                found.push_back(process);
            }
        }
        return found;
    };
    int looks = 0;
    const auto settle = m_dispatcher.agentFinder.onLookedUp;
    m_dispatcher.agentFinder.onLookedUp = [&](const QString& id) {
        ++looks;
        settle(id);
    };
    const AgentProcessId server = start(false, QStringLiteral("app-server"));
    const AgentProcessId first = start(true, QString());
    const auto event = [&](const char* name) {
        const QJsonObject payload { { "session_id", longId }, { "cwd", folder }, { "tool_name", "Bash" },
            { "_murmeli_agent_process", server.pidText() + u' ' + QString::number(server.startTicks) } };
        QCoro::waitFor(m_dispatcher.prepare(name, payload));
        dispatch(name, payload);
        m_registry.refresh();
        return session(key);
    };
    ASSERT_TRUE(event("SessionStart"));
    ASSERT_TRUE(test::waitUntil([&] { return looks == 1; }));
    ASSERT_TRUE(session(key)->hookAgent == first);

    // Its terminal closes: the poll ends the session; the server's late Stop and SessionEnd list nothing.
    running[1]->kill();
    running[1]->waitForFinished();
    m_dispatcher.endSession(*SessionKey::fromFileKey(key), true);
    EXPECT_FALSE(event("Stop"));
    EXPECT_FALSE(event("SessionEnd"));
    ASSERT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));
    EXPECT_FALSE(event("Stop")) << "a late hook of the closed terminal";
    ASSERT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));

    // A Codex started anew in that folder begins a session of its own, not yet spoken for: the closed session's late
    // hooks, however many looks they cost, do not take its process.
    start(true, QString());
    EXPECT_FALSE(event("PostToolUse")) << "a late hook of the closed terminal, a new Codex beside it";
    ASSERT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));
    EXPECT_FALSE(event("Stop")) << "a late hook of the closed terminal, a new Codex beside it";
    ASSERT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));

    // Resumed in another terminal: its first event, a request, lists it again.
    const AgentProcessId resumed = start(true, QStringLiteral("resume ") + longId);
    const SessionSnapshot* back = event("PermissionRequest");
    ASSERT_TRUE(back) << "the resumed session is listed again";
    EXPECT_TRUE(back->hookAgent == resumed);
    // The look it started reads the table.
    EXPECT_TRUE(test::waitUntil([&] { return m_dispatcher.agentFinder.looksUnderWay() == 0; }));
}

} // namespace
} // namespace murmeli::hooks
