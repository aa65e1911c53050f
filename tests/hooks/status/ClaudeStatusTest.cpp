#include "main/hooks/status/ClaudeStatus.h"

#include <chrono>
#include <future>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

namespace murmeli::hooks {
namespace {

constexpr qint64 now = 1'800'000'000;

class ClaudeStatusTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void writeBytes(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    void writeJson(const QString& name, const QJsonObject& object)
    {
        writeBytes(name, QJsonDocument(object).toJson(QJsonDocument::Compact));
    }

    void writeNotify(const QString& name, const QString& type, qint64 ts)
    {
        writeJson(name, { { "type", type }, { "ts", ts }, { "message", "msg of " + type } });
    }

    void setModified(const QString& name, qint64 secs)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime));
    }

    std::optional<ClaudeStatus> read(const std::optional<QString>& key) const
    {
        return ClaudeStatus::read(key, m_dir.path(), m_clock);
    }

    QTemporaryDir m_dir;
    test::FakeClock m_clock { QDateTime::fromSecsSinceEpoch(now, Qt::UTC) };
};

TEST_F(ClaudeStatusTest, MissingOrUnusableStatusFileGivesNothing)
{
    // Activity and notice alone do not make a session.
    writeJson("abcd1234-activity.json", { { "ts", now }, { "activity", "ls" } });
    writeNotify("abcd1234-notify.json", "permission", now);
    EXPECT_FALSE(read(QStringLiteral("abcd1234")));

    writeBytes("abcd1234-status.json", "[1, 2]");
    EXPECT_FALSE(read(QStringLiteral("abcd1234")));
    writeBytes("abcd1234-status.json", "{\"model\":");
    EXPECT_FALSE(read(QStringLiteral("abcd1234")));
    writeBytes("abcd1234-status.json", "");
    EXPECT_FALSE(read(QStringLiteral("abcd1234")));
    // Valid JSON, but far larger than any status file: refused before it is read into memory.
    writeBytes("abcd1234-status.json", "{}" + QByteArray(1024 * 1024, ' '));
    EXPECT_FALSE(read(QStringLiteral("abcd1234")));
}

TEST_F(ClaudeStatusTest, ReadsEveryStatusField)
{
    const QJsonObject status {
        { "model", QJsonObject { { "display_name", "Opus" } } },
        { "context_window",
            QJsonObject { { "used_percentage", 37 }, { "context_window_size", 200000 },
                { "current_usage",
                    QJsonObject {
                        { "input_tokens", 11 }, { "output_tokens", 22 }, { "cache_read_input_tokens", 33 } } } } },
        { "cost",
            QJsonObject { { "total_cost_usd", 1.25 }, { "total_duration_ms", 90000 }, { "total_lines_added", 7 },
                { "total_lines_removed", 3 } } },
        { "rate_limits",
            QJsonObject { { "five_hour", QJsonObject { { "used_percentage", 42.9 } } },
                { "seven_day", QJsonObject { { "used_percentage", 5 } } } } },
        { "workspace", QJsonObject { { "current_dir", "/home/u/app/" } } },
        { "version", "2.1.0" },
        { "tool", "other-agent" },
        { "transcript_path", "/home/u/t.jsonl" },
        { "session_id", "ignored-when-a-key-is-given" },
    };
    writeJson("abcd1234-status.json", status);
    writeBytes("abcd1234-transcript-path.txt", "/not/used/when/the/status/names/one");

    const auto s = read(QStringLiteral("abcd1234"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sessionId, "abcd1234");
    EXPECT_EQ(s->model, "Opus");
    EXPECT_EQ(s->contextPercent, 37);
    EXPECT_EQ(s->contextWindowSize, 200000);
    EXPECT_EQ(s->inputTokens, 11);
    EXPECT_EQ(s->outputTokens, 22);
    EXPECT_EQ(s->cacheReadTokens, 33);
    EXPECT_DOUBLE_EQ(s->costUSD, 1.25);
    EXPECT_EQ(s->totalDurationMs, 90000);
    EXPECT_EQ(s->linesAdded, 7);
    EXPECT_EQ(s->linesRemoved, 3);
    EXPECT_EQ(s->rate5h, 42);
    EXPECT_EQ(s->rate7d, 5);
    EXPECT_EQ(s->cwd, "/home/u/app/");
    EXPECT_EQ(s->project, "app");
    EXPECT_EQ(s->version, "2.1.0");
    EXPECT_EQ(s->tool, "other-agent");
    EXPECT_EQ(s->transcriptPath, "/home/u/t.jsonl");
}

TEST_F(ClaudeStatusTest, WrongTypesCountAsAbsentAndPercentagesAreTruncated)
{
    writeJson("abcd1234-status.json",
        { { "model", "Opus" }, // a plain string, not the object
            { "context_window",
                QJsonObject { { "used_percentage", 42.5 }, { "context_window_size", "200000" },
                    { "current_usage", QJsonObject { { "input_tokens", 1.5 }, { "output_tokens", 1e300 } } } } },
            { "cost", QJsonObject { { "total_cost_usd", "3" }, { "total_lines_added", QJsonArray { 1 } } } },
            { "rate_limits",
                QJsonObject { { "five_hour", QJsonObject { { "used_percentage", -0.7 } } },
                    { "seven_day", QJsonObject { { "used_percentage", 1e300 } } } } },
            { "workspace", QJsonObject { { "current_dir", 5 } } }, { "version", 2 } });

    const auto s = read(QStringLiteral("abcd1234"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->model, "");
    EXPECT_EQ(s->contextPercent, 42);
    EXPECT_EQ(s->contextWindowSize, 0);
    EXPECT_EQ(s->inputTokens, 0);
    EXPECT_EQ(s->outputTokens, 0);
    EXPECT_EQ(s->costUSD, 0);
    EXPECT_EQ(s->linesAdded, 0);
    EXPECT_EQ(s->rate5h, 0); // toward zero, not down to -1
    EXPECT_GT(s->rate7d, 0); // out of range is clamped, never wrapped to a negative number
    EXPECT_EQ(s->cwd, "");
    EXPECT_EQ(s->project, "");
    EXPECT_EQ(s->version, "");
    EXPECT_EQ(s->tool, "claude-code");
}

TEST_F(ClaudeStatusTest, GlobalStatusPicksFilesByItsSessionId)
{
    writeJson("status.json", { { "session_id", "0123456789abcdef" } });
    writeJson("01234567-activity.json", { { "ts", now }, { "activity", "per session" } });
    writeJson("activity.json", { { "ts", now }, { "activity", "global" } });
    writeNotify("01234567-notify.json", "idle", now);
    writeNotify("notify.json", "permission", now);

    auto s = read(std::nullopt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sessionId, "01234567");
    EXPECT_EQ(s->activity, "per session");
    EXPECT_TRUE(s->isIdle);
    EXPECT_FALSE(s->needsAttention);

    // Without an id, or with one we would never write files for, the global files are used.
    for (const QString& id : { QString(), QStringLiteral("../../etc/passwd") }) {
        writeJson("status.json", id.isNull() ? QJsonObject {} : QJsonObject { { "session_id", id } });
        s = read(std::nullopt);
        ASSERT_TRUE(s) << id.toStdString();
        EXPECT_EQ(s->sessionId, "");
        EXPECT_EQ(s->activity, "global");
        EXPECT_TRUE(s->needsAttention);
    }
}

TEST_F(ClaudeStatusTest, EmptyKeyReadsDashPrefixedFilesAndGlobalNotices)
{
    writeJson("-status.json", {});
    writeBytes("-transcript-path.txt", "  /t/x.jsonl\n");
    writeJson("activity.json", { { "ts", now }, { "activity", "global" } });

    const auto s = read(QString());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sessionId, "");
    EXPECT_EQ(s->activity, "global");
    EXPECT_EQ(s->transcriptPath, "/t/x.jsonl");
}

TEST_F(ClaudeStatusTest, UnsafeKeyGivesNothingEvenWhenTheFileExists)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("sub"));
    writeJson("sub/x-status.json", {});
    writeJson("a.b-status.json", {});
    writeJson("a b-status.json", {});
    for (const char* key : { "sub/x", "a.b", "a b" }) {
        EXPECT_FALSE(read(QString::fromLatin1(key))) << key;
    }
    // Nor does a key climb out of the directory it is read from.
    writeJson("up-status.json", {});
    EXPECT_TRUE(ClaudeStatus::read(QStringLiteral("up"), m_dir.path(), m_clock));
    EXPECT_FALSE(ClaudeStatus::read(QStringLiteral("../up"), path("sub"), m_clock));
}

TEST_F(ClaudeStatusTest, TranscriptPathFileIsTheFallbackForAKeyOnly)
{
    writeJson("abcd1234-status.json", { { "transcript_path", "" } });
    writeBytes("abcd1234-transcript-path.txt", "/home/u/t.jsonl\n");
    auto s = read(QStringLiteral("abcd1234"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->transcriptPath, "/home/u/t.jsonl");

    writeJson("status.json", { { "session_id", "abcd1234" } });
    s = read(std::nullopt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sessionId, "abcd1234");
    EXPECT_EQ(s->transcriptPath, "");
}

TEST_F(ClaudeStatusTest, ActivityExpiresAfterTenSeconds)
{
    writeJson("abcd1234-status.json", {});
    const auto activityAt = [&](std::optional<qint64> ts) {
        QJsonObject object { { "activity", "make" }, { "tool", "Bash" } };
        if (ts) {
            object.insert("ts", *ts);
        }
        writeJson("abcd1234-activity.json", object);
        const auto s = read(QStringLiteral("abcd1234"));
        return s ? s->activity + "|" + s->activityTool : QStringLiteral("nullopt");
    };
    EXPECT_EQ(activityAt(now - 9), "make|Bash");
    EXPECT_EQ(activityAt(now - 10), "|");
    EXPECT_EQ(activityAt(std::nullopt), "|");
    EXPECT_EQ(activityAt(now + 100), "make|Bash"); // a clock ahead of ours still counts as fresh
}

TEST_F(ClaudeStatusTest, NoticeFlagsFollowTypeAndExpiry)
{
    writeJson("abcd1234-status.json", {});
    const auto notice = [&](const QString& type, qint64 age) {
        writeNotify("abcd1234-notify.json", type, now - age);
        const auto s = read(QStringLiteral("abcd1234"));
        EXPECT_TRUE(s);
        return s.value_or(ClaudeStatus {});
    };

    auto s = notice("permission", 29);
    EXPECT_TRUE(s.needsAttention);
    EXPECT_EQ(s.pendingMessage, "msg of permission");
    s = notice("permission", 30);
    EXPECT_FALSE(s.needsAttention);
    EXPECT_EQ(s.pendingMessage, "");

    EXPECT_TRUE(notice("working", 59).isWorkingSignal);
    EXPECT_FALSE(notice("working", 60).isWorkingSignal);
    EXPECT_TRUE(notice("idle", 0).isIdle);
    EXPECT_TRUE(notice("compact", 0).isCompact);

    EXPECT_TRUE(notice("error", 29).isError);
    EXPECT_FALSE(notice("error", 30).isError);
    for (const QString& type : { QStringLiteral("error"), QStringLiteral("Permission") }) {
        s = notice(type, 0);
        EXPECT_FALSE(s.needsAttention || s.isIdle || s.isWorkingSignal || s.isCompact) << type.toStdString();
        EXPECT_EQ(s.isError, type == QStringLiteral("error"));
        EXPECT_EQ(s.pendingMessage, "msg of " + type);
    }

    // What clearing a notice leaves behind.
    writeBytes("abcd1234-notify.json", "");
    s = read(QStringLiteral("abcd1234")).value();
    EXPECT_FALSE(s.needsAttention || s.isIdle || s.isWorkingSignal || s.isCompact || s.isError);
    EXPECT_EQ(s.pendingMessage, "");
}

TEST_F(ClaudeStatusTest, FifosAreSkippedWithoutBlocking)
{
    const QStringList fifos { "abcd1234-status.json", "efgh5678-activity.json", "efgh5678-notify.json",
        "efgh5678-transcript-path.txt" };
    for (const QString& name : fifos) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0) << name.toStdString();
    }
    writeJson("efgh5678-status.json", {});

    auto pending = std::async(std::launch::async, [this] {
        return std::pair { read(QStringLiteral("abcd1234")), read(QStringLiteral("efgh5678")) };
    });
    if (pending.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Keep releasing whichever FIFO the reader is stuck on, so the suite can end and report.
        do {
            for (const QString& name : fifos) {
                const int fd = ::open(QFile::encodeName(path(name)).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                }
            }
        } while (pending.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready);
        FAIL() << "read() blocked on a FIFO";
    }
    const auto [fifoStatus, regular] = pending.get();
    EXPECT_FALSE(fifoStatus);
    ASSERT_TRUE(regular);
    EXPECT_EQ(regular->activity, "");
    EXPECT_FALSE(regular->needsAttention);
    EXPECT_EQ(regular->transcriptPath, "");
}

TEST_F(ClaudeStatusTest, StatusFileTimeDecidesWorkingWhenNothingElseDoes)
{
    writeJson("abcd1234-status.json", {});
    setModified("abcd1234-status.json", now - 3);
    auto s = read(QStringLiteral("abcd1234")).value();
    EXPECT_EQ(s.lastStatusTs, now - 3);
    EXPECT_TRUE(s.isWorking(now));
    EXPECT_FALSE(s.isWorking(now + 7)); // the same value turns idle as time passes

    setModified("abcd1234-status.json", now - 10);
    s = read(QStringLiteral("abcd1234")).value();
    EXPECT_FALSE(s.isWorking(now));
    s.lastStatusTs = now - 9;
    EXPECT_TRUE(s.isWorking(now));
}

TEST_F(ClaudeStatusTest, IsWorkingPrecedence)
{
    ClaudeStatus s;
    EXPECT_FALSE(s.isWorking(now)); // lastStatusTs 0

    s.activity = "make";
    EXPECT_TRUE(s.isWorking(now));
    s.isIdle = true;
    EXPECT_FALSE(s.isWorking(now));

    ClaudeStatus signal;
    signal.isWorkingSignal = true;
    signal.lastStatusTs = now;
    EXPECT_TRUE(signal.isWorking(now));
    signal.needsAttention = true;
    EXPECT_FALSE(signal.isWorking(now));
}

TEST_F(ClaudeStatusTest, IsWorkingEffectiveConsultsTheTranscript)
{
    ClaudeStatus s;
    TranscriptData transcript;
    EXPECT_FALSE(s.isWorkingEffective(transcript, now));

    transcript.lastUpdateTs = now - 4;
    EXPECT_TRUE(s.isWorkingEffective(transcript, now));
    transcript.lastUpdateTs = now - 5;
    EXPECT_FALSE(s.isWorkingEffective(transcript, now));

    transcript.tools = { { QStringLiteral("t0"), QStringLiteral("Read"), {}, QStringLiteral("completed") } };
    EXPECT_FALSE(s.isWorkingEffective(transcript, now));
    transcript.tools << TranscriptTool { QStringLiteral("t1"), QStringLiteral("Bash"), {}, QStringLiteral("running") };
    EXPECT_TRUE(s.isWorkingEffective(transcript, now));
    s.needsAttention = true;
    EXPECT_FALSE(s.isWorkingEffective(transcript, now));

    // Without transcript signs it falls back to the files.
    ClaudeStatus busy;
    busy.activity = "make";
    EXPECT_TRUE(busy.isWorkingEffective(TranscriptData {}, now));
    busy.isIdle = true;
    EXPECT_FALSE(busy.isWorkingEffective(TranscriptData {}, now));
}

} // namespace
} // namespace murmeli::hooks
