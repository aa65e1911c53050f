#include "main/usage/CodexBarUsageReader.h"

#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QThread>

#include "platform/defaults/Defaults.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Files.h"
#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

namespace murmeli::usage {
namespace {

const QString fakeDir = QStringLiteral(MURMELI_FAKE_CODEXBAR_DIR);
const char* const fakeVariables[]
    = { "FAKE_CODEXBAR_MODE", "FAKE_CODEXBAR_MODE_codex", "FAKE_CODEXBAR_GATE", "FAKE_CODEXBAR_PIDFILE" };

QString row(const char* provider)
{
    return QStringLiteral("codexbar usage --format json --provider ") + QLatin1String(provider);
}

class CodexBarUsageReaderTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* name : fakeVariables) {
            qunsetenv(name);
        }
    }

    std::unique_ptr<CodexBarUsageReader> makeReader(QStringList directories = { fakeDir }, double rowTimeoutSec = 15)
    {
        auto reader = std::make_unique<CodexBarUsageReader>(
            1.0, CodexBarUsageReader::Dependencies { m_clock, std::move(directories), rowTimeoutSec });
        reader->onSnapshots = [this](const std::vector<CodexBarProviderUsage>& rows) { m_polls.push_back(rows); };
        reader->onSnapshot = [this](const CodexBarUsageSnapshot& snapshot) { m_snapshot = snapshot; };
        reader->onStatusChange = [this](const CodexBarReaderStatus& status) { m_statuses.push_back(status); };
        reader->onLog = [this](const QString& line, common::LogColor) { m_log << line; };
        return reader;
    }

    int pollsStarted() const { return m_log.filter(QStringLiteral("[codexbar] poll: ")).size(); }

    std::shared_ptr<test::FakeClock> m_clock = std::make_shared<test::FakeClock>();
    std::vector<std::vector<CodexBarProviderUsage>> m_polls;
    std::optional<CodexBarUsageSnapshot> m_snapshot;
    std::vector<CodexBarReaderStatus> m_statuses;
    QStringList m_log;
};

TEST_F(CodexBarUsageReaderTest, RowsGiveOneProviderEachInRowOrder)
{
    qputenv("FAKE_CODEXBAR_MODE_codex", "fail");
    auto reader = makeReader();
    reader->setCommands(
        { row("deepseek"), QStringLiteral("sh -c codexbar"), row("codex"), row("claude"), row("deepseek") });
    reader->start();
    ASSERT_TRUE(test::waitUntil([&] { return !m_statuses.empty(); }));

    ASSERT_EQ(m_polls.size(), 1u);
    QStringList providers;
    for (const CodexBarProviderUsage& provider : m_polls.front()) {
        providers << provider.providerID;
    }
    EXPECT_EQ(providers, (QStringList { "deepseek", "claude" }));
    EXPECT_EQ(m_statuses, std::vector { CodexBarReaderStatus::active() });
    EXPECT_EQ(reader->status(), CodexBarReaderStatus::active());
    ASSERT_TRUE(m_snapshot);
    EXPECT_EQ(m_snapshot->providerID, QStringLiteral("deepseek"));
    EXPECT_EQ(m_snapshot->lastUpdate, QDateTime::fromString("2026-03-02T14:21:03Z", Qt::ISODate));
    EXPECT_EQ(m_log.filter("row 2: skipped").size(), 1);
    EXPECT_EQ(m_log.filter("row 3: exit=3 — Error: Claude OAuth token expired").size(), 1);
}

TEST_F(CodexBarUsageReaderTest, StatusWhenEveryRowFails)
{
    QTemporaryDir empty;
    struct Case {
        const char* mode;
        QStringList rows;
        QStringList directories;
        double rowTimeoutSec;
        CodexBarReaderStatus status;
        const char* codexMode = nullptr; // the second row's, where it fails otherwise
    };
    const Case cases[] = {
        { "fail", { row("claude"), row("codex") }, { fakeDir }, 15, CodexBarReaderStatus::error(3) },
        // The status tells the first row's failure, whatever failed after it.
        { "fail", { row("claude"), row("codex") }, { fakeDir }, 15, CodexBarReaderStatus::error(3), "silent-fail" },
        { "silent-fail", { row("claude") }, { fakeDir }, 15, CodexBarReaderStatus::error(2) },
        { "error-json", { row("codex") }, { fakeDir }, 15, CodexBarReaderStatus::error(1) },
        { "garbage", { row("claude"), QStringLiteral("codexbar usage --provider claude") }, { fakeDir }, 15,
            CodexBarReaderStatus::error(-3) },
        { "hang", { row("claude") }, { fakeDir }, 0.5, CodexBarReaderStatus::error(124) },
        { "ok", { QStringLiteral("codex bar usage") }, { fakeDir }, 15, CodexBarReaderStatus::error(-3) },
        { "ok", { row("claude") }, { empty.path() }, 15, CodexBarReaderStatus::notInstalled() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        qputenv("FAKE_CODEXBAR_MODE", c.mode);
        if (c.codexMode) {
            qputenv("FAKE_CODEXBAR_MODE_codex", c.codexMode);
        } else {
            qunsetenv("FAKE_CODEXBAR_MODE_codex");
        }
        m_statuses.clear();
        auto reader = makeReader(c.directories, c.rowTimeoutSec);
        reader->setCommands(c.rows);
        reader->start();
        ASSERT_TRUE(test::waitUntil([&] { return !m_statuses.empty(); }, 10000));
        EXPECT_EQ(m_statuses, std::vector { c.status });
    }
    EXPECT_TRUE(m_polls.empty());
}

// A row stopped at its time limit takes along what the tool started: nothing of it outlives the poll.
TEST_F(CodexBarUsageReaderTest, ARowStoppedAtItsTimeLimitLeavesNoProcessBehind)
{
    QTemporaryDir scratch;
    const QString pidFile = scratch.filePath(QStringLiteral("spawned.pid"));
    qputenv("FAKE_CODEXBAR_MODE", "spawn");
    qputenv("FAKE_CODEXBAR_PIDFILE", pidFile.toUtf8());
    auto reader = makeReader({ fakeDir }, 0.5);
    reader->setCommands({ row("claude") });
    reader->start();
    ASSERT_TRUE(test::waitUntil([&] { return !m_statuses.empty(); }, 10000));
    EXPECT_EQ(m_statuses, std::vector { CodexBarReaderStatus::error(124) });

    const pid_t spawned = test::readFile(pidFile).trimmed().toInt();
    ASSERT_GT(spawned, 0);
    EXPECT_TRUE(test::waitUntil([&] { return test::processGone(spawned); }, 5000));
}

TEST_F(CodexBarUsageReaderTest, APollThatEndsAfterStopIsDropped)
{
    QTemporaryDir scratch;
    const QString gate = scratch.filePath(QStringLiteral("gate"));
    qputenv("FAKE_CODEXBAR_GATE", gate.toUtf8());
    auto reader = makeReader();
    reader->setCommands({ row("claude"), row("codex") });
    reader->start();
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(gate + ".started"); }));
    reader->stop();
    QFile::remove(gate + ".started");
    QFile open(gate);
    ASSERT_TRUE(open.open(QIODevice::WriteOnly));

    ASSERT_TRUE(test::waitUntil(
        [&] { return !m_log.filter("poll result dropped").isEmpty() || !m_polls.empty() || !m_statuses.empty(); }));
    EXPECT_TRUE(m_polls.empty());
    EXPECT_FALSE(m_snapshot);
    EXPECT_TRUE(m_statuses.empty());
    EXPECT_EQ(reader->status(), CodexBarReaderStatus::idle());
    // The second row was never started.
    EXPECT_FALSE(QFile::exists(gate + ".started"));
}

TEST_F(CodexBarUsageReaderTest, TimerPollsAtTheIntervalUntilStopped)
{
    auto reader = makeReader();
    const auto waitForPolls = [&](size_t count) { return test::waitUntil([&] { return m_polls.size() == count; }); };

    reader->restart(2.0); // not started: only stores
    EXPECT_EQ(reader->intervalMinutes(), 2.0);
    EXPECT_EQ(m_clock->pendingTimers(), 0);

    reader->start();
    reader->start();
    EXPECT_EQ(pollsStarted(), 1);
    ASSERT_TRUE(waitForPolls(1));
    m_clock->advance(119'999);
    EXPECT_EQ(pollsStarted(), 1);
    m_clock->advance(1);
    EXPECT_EQ(pollsStarted(), 2);
    ASSERT_TRUE(waitForPolls(2));

    reader->restart(0.0); // polls at once and from then on every second
    EXPECT_EQ(pollsStarted(), 3);
    ASSERT_TRUE(waitForPolls(3));
    m_clock->advance(1000);
    EXPECT_EQ(pollsStarted(), 4);
    ASSERT_TRUE(waitForPolls(4));

    reader->stop();
    EXPECT_EQ(m_clock->pendingTimers(), 0);
    m_clock->advance(60'000);
    EXPECT_EQ(pollsStarted(), 4);
}

TEST_F(CodexBarUsageReaderTest, CommandRowsAreKeptAndStored)
{
    QTemporaryDir home;
    platform::Defaults defaults(home.filePath(QStringLiteral("defaults.json")));
    const QString fallback = QString::fromLatin1(CodexBarUsageReader::defaultCLICommand);
    EXPECT_EQ(CodexBarUsageReader::commandsFromUDOrDefault(defaults), QStringList { fallback });

    defaults.setValue(QLatin1String(CodexBarUsageReader::legacyCLICommandUDKey), row("codex"));
    EXPECT_EQ(CodexBarUsageReader::commandsFromUDOrDefault(defaults), QStringList { row("codex") });

    const QStringList stored { row("a"), QStringLiteral("rm -rf ~"), QString(), row("b"), row("c"), row("d"), row("e"),
        row("f") };
    CodexBarUsageReader::writeCommandsToUD(defaults, stored);
    const auto text = defaults.stringValue(QLatin1String(CodexBarUsageReader::cliCommandsUDKey));
    ASSERT_TRUE(text);
    EXPECT_EQ(QJsonDocument::fromJson(text->toUtf8()).array().toVariantList().size(), stored.size());
    EXPECT_EQ(CodexBarUsageReader::commandsFromUDOrDefault(defaults),
        (QStringList { row("a"), row("b"), row("c"), row("d"), row("e") }));

    // Nothing usable stored: the legacy row, then the default.
    CodexBarUsageReader::writeCommandsToUD(defaults, { QStringLiteral("ls") });
    EXPECT_EQ(CodexBarUsageReader::commandsFromUDOrDefault(defaults), QStringList { row("codex") });
    defaults.setValue(QLatin1String(CodexBarUsageReader::cliCommandsUDKey), QStringLiteral("[1, {}, \"codex"));
    defaults.setValue(QLatin1String(CodexBarUsageReader::legacyCLICommandUDKey), QStringLiteral("codexbarx"));
    EXPECT_EQ(CodexBarUsageReader::commandsFromUDOrDefault(defaults), QStringList { fallback });

    auto reader = makeReader();
    reader->setCommands({});
    EXPECT_EQ(reader->commands(), QStringList { fallback });
    reader->setCommands(stored);
    EXPECT_EQ(reader->commands(), stored.first(CodexBarUsageReader::maxCommandRows));

    const std::pair<QJsonValue, int> minutes[]
        = { { QJsonValue(), 15 }, { 5, 5 }, { 30, 30 }, { 10, 15 }, { QStringLiteral("5"), 15 } };
    for (const auto& [value, expected] : minutes) {
        defaults.setValue(QLatin1String(CodexBarUsageReader::pollMinutesUDKey), value);
        EXPECT_EQ(CodexBarUsageReader::pollMinutesFromUDOrDefault(defaults), expected);
    }
}

struct TestRunOutcome {
    std::vector<int> progress;
    std::optional<std::pair<bool, QString>> completion;
    int completions = 0;
    bool onMainThread = true;
};

void startTestRun(
    TestRunOutcome& outcome, const QString& command, double timeoutSec, CodexBarUsageReader::TestRunOptions options)
{
    CodexBarUsageReader::testRun(
        command, timeoutSec,
        [&outcome](int secondsLeft) {
            outcome.onMainThread = outcome.onMainThread && QThread::currentThread() == qApp->thread();
            outcome.progress.push_back(secondsLeft);
        },
        [&outcome](bool ok, const QString& message) {
            outcome.onMainThread = outcome.onMainThread && QThread::currentThread() == qApp->thread();
            outcome.completion = { ok, message };
            ++outcome.completions;
        },
        std::move(options));
}

TEST_F(CodexBarUsageReaderTest, TestRunMessages)
{
    QTemporaryDir empty;
    QTemporaryDir broken;
    QFile script(broken.filePath(QStringLiteral("codexbar")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/nonexistent/interpreter\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    struct Case {
        const char* mode;
        QString command;
        QStringList directories;
        bool ok;
        QString message;
    };
    const Case cases[] = {
        { "ok", row("deepseek"), { fakeDir }, true, "OK — JSON parsed, 1 provider(s) ready." },
        { "ok", "claude usage", { fakeDir }, false, "Invalid command — must start with `codexbar`" },
        { "ok", row("claude"), { empty.path() }, false, "codexbar not found in PATH" },
        { "fail", row("claude"), { fakeDir }, false,
            "exit=3 — Error: Claude OAuth token expired. Run claude to sign in again." },
        { "silent-fail", row("claude"), { fakeDir }, false, "exit=2 — (no stderr)" },
        { "garbage", row("claude"), { fakeDir }, false, "exit=0 but JSON parse failed — schema mismatch" },
        { "ok", row("claude"), { broken.path() }, false, "spawn failed: " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.toStdString() + " " + c.mode);
        qputenv("FAKE_CODEXBAR_MODE", c.mode);
        TestRunOutcome outcome;
        startTestRun(outcome, c.command, CodexBarUsageReader::perRowTimeoutSec, { m_clock, c.directories });
        ASSERT_TRUE(test::waitUntil([&] { return outcome.completion.has_value(); }));
        EXPECT_EQ(outcome.completion->first, c.ok);
        EXPECT_TRUE(outcome.completion->second.startsWith(c.message)) << outcome.completion->second.toStdString();
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_TRUE(outcome.onMainThread);
        // The countdown ends with the run.
        EXPECT_EQ(m_clock->pendingTimers(), 0);
    }
}

TEST_F(CodexBarUsageReaderTest, TestRunCountsDownToItsTimeout)
{
    qputenv("FAKE_CODEXBAR_MODE", "hang");
    // The tool is found through PATH, where the tests put the stand-in first.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", fakeDir.toUtf8() + ':' + path);
    TestRunOutcome outcome;
    startTestRun(outcome, row("claude"), 2.0, { m_clock, {} });
    qputenv("PATH", path);

    m_clock->advance(400);
    EXPECT_TRUE(outcome.progress.empty());
    m_clock->advance(600);
    m_clock->advance(1000);
    m_clock->advance(1000);
    EXPECT_EQ(outcome.progress, (std::vector { 1, 0 }));
    EXPECT_EQ(m_clock->pendingTimers(), 0);

    ASSERT_TRUE(test::waitUntil([&] { return outcome.completion.has_value(); }, 10000));
    EXPECT_EQ(*outcome.completion, std::make_pair(false, QStringLiteral("exit=124 — timeout after 2s")));
    EXPECT_TRUE(outcome.onMainThread);
}

} // namespace
} // namespace murmeli::usage
