#include "main/hooks/transcript/TranscriptWatcher.h"

#include <thread>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "main/hooks/transcript/TranscriptSummary.h"
#include "tests/support/StallingMount.h"
#include "tests/support/Wait.h"

namespace murmeli::hooks {
namespace {

using Data = TranscriptData;

QByteArray line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray message(const QString& role, const QJsonValue& content)
{
    return line({ { "message", QJsonObject { { "role", role }, { "content", content } } } });
}

QByteArray toolUse(const QString& id, const QString& name, const QJsonValue& input = QJsonValue::Undefined)
{
    QJsonObject block { { "type", "tool_use" }, { "id", id }, { "name", name } };
    if (!input.isUndefined()) {
        block.insert("input", input);
    }
    return message("assistant", QJsonArray { block });
}

QByteArray toolResult(const QString& id, const QJsonValue& isError = QJsonValue::Undefined)
{
    QJsonObject block { { "type", "tool_result" }, { "tool_use_id", id } };
    if (!isError.isUndefined()) {
        block.insert("is_error", isError);
    }
    return message("user", QJsonArray { block });
}

QByteArray said(const QString& role, const QString& text)
{
    return message(role, QJsonArray { QJsonObject { { "type", "text" }, { "text", text } } });
}

QByteArray todoWrite(const QJsonValue& todos)
{
    return toolUse("todo", "TodoWrite", todos.isUndefined() ? QJsonObject {} : QJsonObject { { "todos", todos } });
}

// Exactly n bytes (n >= 1024) of lines that parse but mean nothing.
QByteArray filler(qint64 n)
{
    QByteArray out;
    while (n > 0) {
        const qint64 size = n < 2048 ? n : 1024;
        out += "{\"p\":\"" + QByteArray(size - 9, 'x') + "\"}\n";
        n -= size;
    }
    return out;
}

QStringList toolIds(const QList<TranscriptTool>& tools)
{
    QStringList ids;
    for (const TranscriptTool& tool : tools) {
        ids << tool.id;
    }
    return ids;
}

class TranscriptWatcherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void append(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    bool waitFor(const std::function<bool(const Data&)>& pred, int timeoutMs = 5000)
    {
        return test::waitUntil([&] { return pred(m_watcher.data()); }, timeoutMs);
    }

    // Starts on a file whose first line is applied, so that everything appended later arrives as new bytes.
    void startOn(const QString& name)
    {
        append(name, line({ { "slug", "ready" } }));
        m_watcher.watch(path(name));
        ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("ready"); }));
    }

    QTemporaryDir m_dir;
    TranscriptWatcher m_watcher;
};

TEST(TranscriptDataTest, DerivedValues)
{
    Data data;
    EXPECT_EQ(data.todoSummary(), QString());
    data.tools = { { "1", "Bash", "", "completed" }, { "2", "Read", "", "running" }, { "3", "Read", "", "error" },
        { "4", "Read", "", "completed" }, { "5", "Grep", "", "running" } };
    data.agents = { { "a", "x", "running" }, { "b", "y", "completed" }, { "c", "z", "running" } };
    EXPECT_EQ(toolIds(data.runningTools()), QStringList({ "2", "5" }));
    EXPECT_EQ(data.runningAgentCount(), 2);
    const QList<std::pair<QString, int>> counts { { "Read", 2 }, { "Bash", 1 } };
    EXPECT_EQ(data.completedToolCounts(), counts);

    const QString longTask = QStringLiteral("Käännä 👨‍👩‍👧 kaikki testit ja korjaa loput virheet");
    data.todos = { { "a", "completed" }, { "b", "pending" }, { longTask, "in_progress" }, { "d", "completed" },
        { "later", "in_progress" } };
    EXPECT_EQ(data.todoSummary(), "2/5 " + QStringLiteral("Käännä 👨‍👩‍👧 kaikki testit ja korj"));
    data.todos = { { "a", "pending" }, { "b", "pending" }, { "", "in_progress" } };
    EXPECT_EQ(data.todoSummary(), "0/3");
}

TEST_F(TranscriptWatcherTest, ToolCallsGetTargetsFromTheirInput)
{
    append("t.jsonl",
        toolUse("r", "Read", QJsonObject { { "file_path", "/src/app/main.cpp" }, { "path", "/ignored" } })
            + toolUse("w", "Write", QJsonObject { { "path", "/tmp/out/" } })
            + toolUse("e", "Edit", QJsonObject { { "file_path", 7 } })
            + toolUse("g", "Grep", QJsonObject { { "pattern", "TODO|FIXME in a rather long pattern text" } })
            + toolUse("b", "Bash", QJsonObject { { "command", "cmake --build build --target everything -j8" } })
            + toolUse("n", "Bash") + toolUse("o", "WebFetch", QJsonObject { { "url", "https://example.org" } })
            + toolUse("bad", "Bash", "not an object")
            + message("assistant", QJsonArray { QJsonObject { { "type", "tool_use" }, { "name", "Bash" } } }) // no id
            + "not json\n" + line({ { "slug", "end" } }));
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("end"); }));

    const Data data = m_watcher.data();
    ASSERT_EQ(toolIds(data.tools), QStringList({ "r", "w", "e", "g", "b", "n", "o", "bad" }));
    const QStringList targets { "main.cpp", "out", "", "TODO|FIXME in a rather long pattern text",
        "cmake --build build --target e", "", "", "" };
    for (int i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(data.tools[i].target, targets[i]) << i;
        EXPECT_EQ(data.tools[i].status, "running") << i;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    EXPECT_GE(data.lastUpdateTs, now - 60);
    EXPECT_LE(data.lastUpdateTs, now);
}

TEST_F(TranscriptWatcherTest, ResultsSetStatusAndReportRunningToolsOnceOnTheOwnersThread)
{
    int calls = 0;
    bool onMainThread = true;
    m_watcher.onToolCompleted = [&] {
        ++calls;
        onMainThread = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    startOn("t.jsonl");
    append("t.jsonl", toolUse("a", "Bash") + toolUse("b", "Bash") + toolUse("c", "Read") + toolResult("a"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools.size() == 3 && d.tools[0].status == "completed"; }));
    append("t.jsonl", toolResult("b", true) + toolResult("c", "true") + toolResult("a", true) + toolResult("zzz"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools[0].status == "error"; }));
    QCoreApplication::processEvents();

    const Data data = m_watcher.data();
    EXPECT_EQ(data.tools[1].status, "error");
    EXPECT_EQ(data.tools[2].status, "completed"); // only the boolean true is an error
    EXPECT_EQ(calls, 3); // the second result for "a" found it no longer running
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(data.runningTools().isEmpty());
}

TEST_F(TranscriptWatcherTest, HistoryKeepsTheLatestHundredAndLaterDuplicatesWin)
{
    int calls = 0;
    m_watcher.onToolCompleted = [&] { ++calls; };
    // 101 calls: "first" is dropped, and the map rebuilt from what is left must point "dup" at its later call.
    QByteArray bytes = toolUse("first", "Bash") + toolUse("dup", "Bash");
    for (int i = 0; i < 98; ++i) {
        bytes += (i == 48 ? toolUse("dup", "Grep") : QByteArray()) + toolUse(QString("t%1").arg(i), "Bash");
    }
    append("t.jsonl", bytes + toolResult("dup") + toolResult("t1") + line({ { "slug", "end" } }));
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("end"); }));
    QCoreApplication::processEvents();

    Data data = m_watcher.data();
    ASSERT_EQ(data.tools.size(), TranscriptWatcher::toolHistoryLimit);
    EXPECT_EQ(data.tools[0], (TranscriptTool { "dup", "Bash", "", "running" }));
    EXPECT_EQ(data.tools[2], (TranscriptTool { "t1", "Bash", "", "completed" }));
    EXPECT_EQ(data.tools[49], (TranscriptTool { "dup", "Grep", "", "completed" }));
    EXPECT_EQ(data.runningTools().size(), 98);
    EXPECT_EQ(calls, 2);

    // A result for a call no longer listed changes nothing and reports nothing.
    append("t.jsonl", toolUse("t98", "Bash") + toolResult("first") + line({ { "slug", "end2" } }));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("end2"); }));
    QCoreApplication::processEvents();
    data = m_watcher.data();
    EXPECT_EQ(data.tools.front(), (TranscriptTool { "t0", "Bash", "", "running" }));
    EXPECT_EQ(data.runningTools().size(), 98);
    EXPECT_EQ(calls, 2);
}

TEST_F(TranscriptWatcherTest, SubAgentsAreTrackedApartFromTools)
{
    int calls = 0;
    m_watcher.onToolCompleted = [&] { ++calls; };
    append("t.jsonl",
        toolUse("s1", "Task", QJsonObject { { "subagent_type", "code-reviewer" }, { "description", "ignored" } })
            + toolUse(
                "s2", "Agent", QJsonObject { { "description", "Tutki kaikki lokitiedostot ja kerro mitä löytyi" } })
            + toolUse("s3", "Task") + toolResult("s1", true) + line({ { "slug", "end" } }));
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("end"); }));
    QCoreApplication::processEvents();

    const Data data = m_watcher.data();
    const QList<TranscriptAgent> agents { { "s1", "code-reviewer", "completed" },
        { "s2", "Tutki kaikki lokitiedostot ja ", "running" }, { "s3", "agent", "running" } };
    EXPECT_EQ(data.agents, agents);
    EXPECT_TRUE(data.tools.isEmpty());
    EXPECT_EQ(data.runningAgentCount(), 2);
    EXPECT_EQ(calls, 0);
}

TEST(TranscriptSummaryTest, SubAgentsKeepTheLatestLikeTools)
{
    TranscriptSummary summary;
    const auto apply = [&](const QByteArray& bytes) { summary.apply(*TranscriptSummary::parseLine(bytes.trimmed())); };
    for (int i = 0; i <= TranscriptSummary::agentHistoryLimit; ++i) {
        apply(toolUse(QString("a%1").arg(i), "Task"));
    }
    apply(toolResult("a0")); // no longer listed
    apply(toolResult("a1"));
    const Data& data = summary.data();
    ASSERT_EQ(data.agents.size(), TranscriptSummary::agentHistoryLimit);
    EXPECT_EQ(data.agents.front(), (TranscriptAgent { "a1", "agent", "completed" }));
    EXPECT_EQ(data.agents.back().id, QString("a%1").arg(TranscriptSummary::agentHistoryLimit));
    EXPECT_EQ(data.runningAgentCount(), TranscriptSummary::agentHistoryLimit - 1);
}

TEST_F(TranscriptWatcherTest, TodoWriteReplacesTheListOnlyWhenItCarriesOne)
{
    startOn("t.jsonl");
    append("t.jsonl",
        todoWrite(QJsonArray { QJsonObject { { "content", "first" }, { "status", "completed" } },
            QJsonObject { { "status", 3 } }, QJsonObject { { "content", "third" }, { "status", "in_progress" } } })
            + said("assistant", "m1"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.lastAssistantText == "m1"; }));
    const QList<TranscriptTodo> todos { { "first", "completed" }, { "", "pending" }, { "third", "in_progress" } };
    EXPECT_EQ(m_watcher.data().todos, todos);
    EXPECT_EQ(m_watcher.data().todoSummary(), "1/3 third");

    append("t.jsonl",
        todoWrite(QJsonValue::Undefined) + todoWrite("none") + todoWrite(QJsonArray { 1, 2 })
            + said("assistant", "m2"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.lastAssistantText == "m2"; }));
    EXPECT_EQ(m_watcher.data().todos, todos);

    append("t.jsonl", todoWrite(QJsonArray {}) + said("assistant", "m3"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.lastAssistantText == "m3"; }));
    EXPECT_TRUE(m_watcher.data().todos.isEmpty());
    EXPECT_TRUE(m_watcher.data().tools.isEmpty());
}

TEST_F(TranscriptWatcherTest, SessionNameAndAssistantText)
{
    const QString longText = QString("Valmista tuli. ").repeated(40);
    append("t.jsonl",
        line({ { "slug", "brave-otter" }, { "customTitle", "Refactor the parser" } }) + said("assistant", longText)
            + said("assistant", "") + said("user", "typed by the user") + message("assistant", "plain string")
            + message("assistant", QJsonArray { QJsonObject { { "type", "text" }, { "text", "lost" } }, 5 })
            + message("assistant",
                QJsonArray { QJsonObject { { "text", "untyped" } }, QJsonObject { { "type", "text" }, { "text", 4 } } })
            + line({ { "customTitle", "done" } }));
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("done"); }));
    EXPECT_EQ(m_watcher.data().lastAssistantText, longText);

    append("t.jsonl", line({ { "slug", "calm-heron" } }));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("calm-heron"); }));
}

TEST_F(TranscriptWatcherTest, LinesSplitAcrossReadsAreKept)
{
    startOn("t.jsonl");
    // Each split follows a complete line in the same write, so seeing that line applied shows the split was read.
    const QByteArray json = toolUse("split", "Bash", QJsonObject { { "command", "ls" } });
    append("t.jsonl", said("assistant", "one") + json.left(json.size() / 2));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.lastAssistantText == "one"; }));
    append("t.jsonl", json.mid(json.size() / 2));
    ASSERT_TRUE(waitFor([](const Data& d) { return !d.tools.isEmpty(); }));
    EXPECT_EQ(m_watcher.data().tools.front(), (TranscriptTool { "split", "Bash", "ls", "running" }));

    const QString text = QStringLiteral("Grüße 👋 valmis");
    const QByteArray greeting = said("assistant", text);
    ASSERT_GT(greeting.indexOf("\xf0\x9f\x91\x8b"), 0);
    const qsizetype cut = greeting.indexOf("\xf0\x9f\x91\x8b") + 2; // inside the four-byte emoji
    append("t.jsonl", said("assistant", "two") + greeting.left(cut));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.lastAssistantText == "two"; }));
    append("t.jsonl", greeting.mid(cut));
    ASSERT_TRUE(waitFor([&](const Data& d) { return d.lastAssistantText == text; }));

    // A damaged line costs only itself.
    append("t.jsonl", "{\"customTitle\":\"bad \xff\"}\n" + said("assistant", "after"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.lastAssistantText == "after"; }));
    EXPECT_EQ(m_watcher.data().sessionName, "ready");
}

TEST_F(TranscriptWatcherTest, ChunkBoundaryInsideACharacterKeepsTheLine)
{
    const QByteArray head = said("assistant", "ääääääää");
    const QByteArray padding = filler(TranscriptWatcher::readChunkBytes - head.indexOf("\xc3") - 1);
    ASSERT_GT(head.indexOf("\xc3"), 0);
    append("t.jsonl", padding + head + toolUse("after", "Bash"));
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return !d.tools.isEmpty(); }));
    EXPECT_EQ(m_watcher.data().lastAssistantText, "ääääääää");
}

TEST_F(TranscriptWatcherTest, LinesAppendedWhileReadingAllArrive)
{
    startOn("t.jsonl");
    constexpr int count = 2000;
    int completed = 0;
    m_watcher.onToolCompleted = [&] { ++completed; };
    std::thread writer([this] {
        QFile file(path("t.jsonl"));
        if (!file.open(QIODevice::Append | QIODevice::Unbuffered)) {
            return;
        }
        QByteArray bytes;
        for (int i = 0; i < count; ++i) {
            bytes += toolUse(QString("s%1").arg(i), "Bash", QJsonObject { { "command", "ü" } })
                + toolResult(QString("s%1").arg(i));
        }
        // Uneven writes, so that reads end anywhere in a line.
        for (qsizetype at = 0, step = 1; at < bytes.size(); at += step, step = step % 397 + 61) {
            file.write(bytes.mid(at, step));
        }
    });
    // Every call is answered while it is still listed, so each line pair counts once.
    const bool arrived = test::waitUntil([&] { return completed >= count; }, 20000);
    writer.join();
    ASSERT_TRUE(arrived) << completed;
    const Data data = m_watcher.data();
    ASSERT_EQ(data.tools.size(), TranscriptWatcher::toolHistoryLimit);
    for (int i = 0; i < data.tools.size(); ++i) {
        const QString id = QString("s%1").arg(count - TranscriptWatcher::toolHistoryLimit + i);
        ASSERT_EQ(data.tools[i], (TranscriptTool { id, "Bash", "ü", "completed" })) << i;
    }
}

TEST_F(TranscriptWatcherTest, LongTranscriptIsReadFromNearItsEnd)
{
    const qint64 window = TranscriptWatcher::initialWindowBytes;
    // The window starts exactly at the line "edge", which stays.
    const QByteArray edge = toolUse("edge", "Bash");
    const QByteArray last = toolUse("last", "Bash");
    append(
        "a.jsonl", toolUse("early", "Bash") + filler(2048) + edge + filler(window - edge.size() - last.size()) + last);
    // The window starts inside a line whose rest would parse on its own, even from a byte earlier; that line goes.
    const QByteArray rest = toolUse("cut", "Bash");
    append("b.jsonl",
        toolUse("early", "Bash") + filler(2048) + "{\"a\":1} " + rest + filler(window - rest.size() - last.size())
            + last);

    m_watcher.watch(path("a.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools.size() == 2; }));
    EXPECT_EQ(toolIds(m_watcher.data().tools), QStringList({ "edge", "last" }));
    m_watcher.watch(path("b.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return !d.tools.isEmpty(); }));
    EXPECT_EQ(toolIds(m_watcher.data().tools), QStringList({ "last" }));
}

TEST_F(TranscriptWatcherTest, OverlongUnfinishedLineIsDropped)
{
    startOn("t.jsonl");
    const QString huge(TranscriptWatcher::maxLineBytes + 2 * TranscriptWatcher::readChunkBytes, QLatin1Char('x'));
    append("t.jsonl", said("assistant", huge) + line({ { "slug", "after" } }));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("after"); }, 20000));
    EXPECT_TRUE(m_watcher.data().lastAssistantText.isEmpty());
}

TEST_F(TranscriptWatcherTest, WatchIgnoresTheSameOrAnEmptyPath)
{
    EXPECT_EQ(m_watcher.currentPath(), std::nullopt);
    m_watcher.watch(QString());
    EXPECT_EQ(m_watcher.currentPath(), std::nullopt);

    append("t.jsonl", toolUse("a", "Bash"));
    startOn("t.jsonl");
    Data marked = m_watcher.data();
    marked.lastAssistantText = "kept";
    m_watcher.setData(marked);

    m_watcher.watch(path("t.jsonl"));
    m_watcher.watch(QString());
    EXPECT_EQ(m_watcher.currentPath(), path("t.jsonl"));
    append("t.jsonl", toolUse("b", "Bash"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools.size() == 2; }));
    EXPECT_EQ(toolIds(m_watcher.data().tools), QStringList({ "a", "b" }));
    EXPECT_EQ(m_watcher.data().lastAssistantText, "kept");
}

TEST_F(TranscriptWatcherTest, TranscriptMissingWhenFirstNamedIsFollowedWhenNamedAgain)
{
    m_watcher.watch(path("late.jsonl"));
    EXPECT_FALSE(waitFor([](const Data& d) { return d != Data {}; }, 200));
    append("late.jsonl", line({ { "slug", "late" } }));
    m_watcher.watch(path("late.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("late"); }));
    append("late.jsonl", toolUse("a", "Bash"));
    EXPECT_TRUE(waitFor([](const Data& d) { return d.tools.size() == 1; }));
}

TEST_F(TranscriptWatcherTest, LastChangeIsTheFilesModificationTimeNotTheReadTime)
{
    // A transcript untouched for an hour says nothing about the session working now.
    append("t.jsonl", line({ { "slug", "old" } }));
    const QDateTime anHourAgo = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 3600);
    {
        QFile file(path("t.jsonl"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(anHourAgo, QFileDevice::FileModificationTime));
    }
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("old"); }));
    EXPECT_EQ(m_watcher.data().lastUpdateTs, anHourAgo.toSecsSinceEpoch());

    append("t.jsonl", line({ { "slug", "new" } }));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.sessionName == QStringLiteral("new"); }));
    EXPECT_EQ(m_watcher.data().lastUpdateTs, QFileInfo(path("t.jsonl")).lastModified().toSecsSinceEpoch());
}

TEST_F(TranscriptWatcherTest, NewPathStartsOverWithoutLinesOfTheOldOne)
{
    QByteArray big;
    for (int i = 0; i < 20000; ++i) {
        big += toolUse(QString("old%1").arg(i), "Bash");
    }
    append("old.jsonl", big);
    append("new.jsonl", toolUse("n1", "Read"));
    m_watcher.watch(path("old.jsonl"));
    m_watcher.watch(path("new.jsonl"));
    EXPECT_FALSE(toolIds(m_watcher.data().tools).join(',').contains("old"));
    ASSERT_TRUE(waitFor([](const Data& d) { return !d.tools.isEmpty(); }));

    append("new.jsonl", toolUse("n2", "Read"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools.size() >= 2; }));
    EXPECT_EQ(toolIds(m_watcher.data().tools), QStringList({ "n1", "n2" }));
    EXPECT_EQ(m_watcher.currentPath(), path("new.jsonl"));
}

TEST_F(TranscriptWatcherTest, FifoPathDoesNotHangTheReader)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    m_watcher.watch(path("fifo"));
    m_watcher.watch(path("missing.jsonl"));
    append("t.jsonl", toolUse("a", "Bash"));
    m_watcher.watch(path("t.jsonl"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools.size() == 1; }));
}

// The transcript followed lies on a mount that stopped answering: the next session's transcript is still followed,
// on a thread of its own, and what the held one reads once the mount answers changes nothing.
TEST_F(TranscriptWatcherTest, ATranscriptOnAMountThatStopsAnsweringHoldsUpNoOther)
{
    test::StallingMount mount(path("backing"), path("mount"));
    if (!mount.mounted()) {
        if (qEnvironmentVariableIsSet("MURMELI_CI")) {
            FAIL() << "under CI the dead mount must be testable: " << mount.why().toStdString();
        }
        GTEST_SKIP() << mount.why().toStdString();
    }
    append("backing/dead.jsonl", toolUse("d1", "Bash"));
    append("live.jsonl", toolUse("l1", "Read"));
    // The cap ends a stall that would hold the watcher for good, so that the test fails rather than hangs.
    ASSERT_TRUE(mount.stall(20));
    m_watcher.watch(mount.path() + "/dead.jsonl");
    ASSERT_TRUE(mount.waitedOn("/dead.jsonl", 5000));
    QElapsedTimer held;
    held.start();
    ASSERT_TRUE(test::waitUntil([&] { return held.elapsed() > TranscriptWatcher::heldAfterMs; }));

    m_watcher.watch(path("live.jsonl"));
    EXPECT_TRUE(waitFor([](const Data& d) { return d.tools.size() == 1; }, 3000))
        << "the next transcript was not read while the first one's mount did not answer";
    ASSERT_TRUE(mount.answer());
    append("live.jsonl", toolUse("l2", "Read"));
    ASSERT_TRUE(waitFor([](const Data& d) { return d.tools.size() >= 2; }));
    EXPECT_EQ(toolIds(m_watcher.data().tools), QStringList({ "l1", "l2" }));
}

class TranscriptLastUserMessageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::optional<QString> prefix(const QByteArray& transcript, int maxChars = 40)
    {
        QFile file(m_dir.filePath("t.jsonl"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(transcript);
        file.close();
        pointAt(m_dir.filePath("t.jsonl"));
        return TranscriptWatcher::lastUserMessagePrefix("abcd1234", maxChars, m_dir.path());
    }

    void pointAt(const QString& transcriptPath)
    {
        QFile file(m_dir.filePath("abcd1234-transcript-path.txt"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("  " + transcriptPath.toUtf8() + "\n");
    }

    QTemporaryDir m_dir;
};

TEST_F(TranscriptLastUserMessageTest, TakesTheLastTypedTextCutToCharacters)
{
    const QByteArray typed = message("user", "Korjaa 👨‍👩‍👧 testit");
    const QByteArray blocks = message("user",
        QJsonArray { QJsonObject { { "type", "image" } }, QJsonObject { { "type", "text" }, { "text", "" } },
            QJsonObject { { "type", "text" }, { "text", "from blocks" } },
            QJsonObject { { "type", "text" }, { "text", "second" } } });
    EXPECT_EQ(prefix(typed + said("assistant", "reply")), "Korjaa 👨‍👩‍👧 testit");
    EXPECT_EQ(prefix(typed, 8), "Korjaa 👨‍👩‍👧");
    EXPECT_EQ(prefix(typed + blocks + toolResult("x") + message("user", "") + "{broken\n"), "from blocks");
    EXPECT_EQ(prefix(toolResult("x") + said("assistant", "no user")), std::nullopt);
    EXPECT_EQ(prefix(QByteArray()), std::nullopt);
}

TEST_F(TranscriptLastUserMessageTest, LooksOnlyAtTheTailWindow)
{
    const qint64 window = TranscriptWatcher::userMessageWindowBytes;
    const QByteArray early = message("user", "too early");
    const QByteArray edge = message("user", "at the edge");
    const QByteArray cut = message("user", "cut");
    EXPECT_EQ(prefix(early + filler(window)), std::nullopt);
    EXPECT_EQ(prefix(early + edge + filler(window - edge.size())), "at the edge");
    EXPECT_EQ(prefix(early + "{\"a\":1} " + cut + filler(window - cut.size())), std::nullopt);
    // A window starting inside a character only cuts the line it falls in.
    const QByteArray umlauts = line({ { "p", QString(100, QChar(0xE4)) } });
    EXPECT_EQ(prefix(early + umlauts + edge + filler(window - edge.size() - 50)), "at the edge");
}

TEST_F(TranscriptLastUserMessageTest, RefusesUnsafeIdsAndUnreadableFiles)
{
    EXPECT_EQ(prefix(message("user", "hi")), "hi");
    for (const QString id : { "", "../abcd1234", "abcd 1234", "abc/d" }) {
        EXPECT_EQ(TranscriptWatcher::lastUserMessagePrefix(id, 40, m_dir.path()), std::nullopt) << id.toStdString();
    }
    EXPECT_EQ(TranscriptWatcher::lastUserMessagePrefix("other", 40, m_dir.path()), std::nullopt);
    pointAt(m_dir.filePath("missing.jsonl"));
    EXPECT_EQ(TranscriptWatcher::lastUserMessagePrefix("abcd1234", 40, m_dir.path()), std::nullopt);
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600), 0);
    pointAt(m_dir.filePath("fifo"));
    EXPECT_EQ(TranscriptWatcher::lastUserMessagePrefix("abcd1234", 40, m_dir.path()), std::nullopt);
    pointAt(QString());
    EXPECT_EQ(TranscriptWatcher::lastUserMessagePrefix("abcd1234", 40, m_dir.path()), std::nullopt);
}

} // namespace
} // namespace murmeli::hooks
