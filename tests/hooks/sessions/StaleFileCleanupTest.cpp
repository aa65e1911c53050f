#include "main/hooks/sessions/StaleFileCleanup.h"

#include <map>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QCoroTask>
#include <gtest/gtest.h>

#include "main/hooks/sessions/SessionRecord.h"

namespace murmeli::hooks {
namespace {

const QDateTime takenAt = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

QStringList texts(const QSet<SessionKey>& keys)
{
    QStringList out;
    for (const SessionKey& key : keys) {
        out << key.text();
    }
    out.sort();
    return out;
}

TEST(StaleFileCleanupTest, LiveKeysComeFromResumedAgentCommandLines)
{
    const ProcessTable table = ProcessTable::parse("1 0 ? node /usr/bin/claude --resume 0123abcd-1111-2222 --verbose\n"
                                                   "2 0 ? /usr/bin/vim --resume 99999999-aaaa\n"
                                                   "3 0 ? claude --resume short7\n"
                                                   "4 0 ? claude-code --resume ffffeeee\n"
                                                   "5 0 ? claude --resume ../../etc/x\n"
                                                   "6 0 ? claude --continue\n",
        takenAt);
    EXPECT_EQ(texts(StaleFileCleanup::liveKeys(table)), (QStringList { "0123abcd", "ffffeeee" }));
}

TEST(StaleFileCleanupTest, DeletesOnlyOldFilesOfSessionsWithoutAnAgent)
{
    struct Case {
        const char* name;
        qint64 ageSecs; // before the table was taken; negative: written after it
        bool deleted;
    };
    const std::vector<Case> cases {
        { "live0001-status.json", 60, false }, { "live0001-activity.json", 60, false },
        { "dead0002-status.json", 60, true }, { "dead0002-notify.json", 60, true },
        { "dead0002-transcript-path.txt", 60, true },
        { "dead0002-other", 60, false }, // a file of the user's that only begins with the key
        { "rec00015-session.json", 60, true }, { "rec00015-report.txt", 60, false },
        { "hook0003-activity.json", 60, false }, // no status file: never judged
        { "status.json", 60, false }, { "notify.json", 60, false },
        { "live-status.json", 60, true }, // the stale key "live" ...
        { "live-001-status.json", 60, false }, // ... does not take a live key it is a prefix of
        { "ab-status.json", 60, true },
        { "ab-cdefgh-status.json", -1, false }, // nor a session that started after the listing
        { "new00004-status.json", -1, false }, { "new00004-activity.json", 60, false },
        { "dead0005-status.json", 60, true }, { "dead0005-activity.json", -1, false }, // written after the listing
        { "-status.json", 60, false }, // no key
        { "ab cd-status.json", 60, false },
        { "here0006-status.json", 60, false }, // an agent started without --resume runs in its folder
        { "here0006-activity.json", 60, false },
        { "gone0007-status.json", 60, true }, // the agent in its folder is no agent
        { "else0008-status.json", 60, true }, // an agent runs, in another folder
        { "free0009-status.json", 60, true }, // its status names no folder
        { "deep0010-status.json", 60, false }, // its shell tool went below the folder the agent runs in
        { "high0014-status.json", 60, true }, // the agent runs above the folder the session was started for
        { "proj0011-status.json", 60, false }, // the agent runs in its project folder
        { "node0012-status.json", 60, false }, // a node script of the adapter table is an agent too
        { "root0013-status.json", 60, true }, // an agent in "/" keeps no session alive
        { "link0016-status.json", 60, false }, // the agent runs in its folder, which its status names through a link
    };
    // The kernel names an agent's folder with its links followed.
    QTemporaryDir disk;
    ASSERT_TRUE(QDir(disk.path()).mkdir("work") && QFile::link(disk.filePath("work"), disk.filePath("link")));
    const QString linked = disk.filePath("link");
    const QString real = QDir(disk.filePath("work")).canonicalPath();
    const ProcessTable table = ProcessTable::parse("10 1 pts/0 claude --resume live0001-aaaa\n"
                                                   "11 1 pts/1 claude --resume live-001-zzz\n"
                                                   "12 1 pts/2 /opt/agent/bin/claude --permission-mode default\n"
                                                   "13 1 pts/3 vim notes.txt\n"
                                                   "14 1 pts/4 node /home/u/.npm/bin/gemini -p hi\n"
                                                   "15 1 pts/5 qodercli\n"
                                                   "16 1 pts/6 claude\n",
        takenAt);
    const std::map<QString, QString> processDirectories { { "12", "/work/a" }, { "13", "/work/b" }, { "14", "/work/d" },
        { "15", "/" }, { "16", real } };
    const std::map<QString, SessionFolders> sessionDirectories { { "/d/here0006-status.json", { "/work/a", {} } },
        { "/d/gone0007-status.json", { "/work/b", {} } }, { "/d/else0008-status.json", { "/work/c", {} } },
        { "/d/deep0010-status.json", { "/work/a/src/lib", "/work/a" } },
        { "/d/high0014-status.json", { "/work/a/src/lib", "/work/a/src" } },
        { "/d/proj0011-status.json", { "/tmp/elsewhere", "/work/a" } },
        { "/d/node0012-status.json", { "/work/d", {} } }, { "/d/root0013-status.json", { "/srv", "/srv" } },
        { "/d/link0016-status.json", { linked, linked } } };
    const auto lookUp = [](const auto& in, const QString& key) {
        const auto found = in.find(key);
        return found == in.end() ? std::nullopt : std::optional(found->second);
    };
    const StaleFileCleanup::Running running
        = StaleFileCleanup::running(table, [&](const QString& pid) { return lookUp(processDirectories, pid); });
    QStringList names;
    std::map<QString, QDateTime> times;
    for (const Case& c : cases) {
        names << c.name;
        times[QStringLiteral("/d/") + c.name] = takenAt.addSecs(-c.ageSecs);
    }
    const QStringList doomed = StaleFileCleanup::staleNames(
        names, running, "/d",
        [&](const QString& path) {
            const auto found = times.find(path);
            return found == times.end() ? std::nullopt : std::optional(found->second);
        },
        [&](const QString& path) { return lookUp(sessionDirectories, path).value_or(SessionFolders {}); });
    for (const Case& c : cases) {
        EXPECT_EQ(doomed.contains(c.name), c.deleted) << c.name;
    }
}

TEST(StaleFileCleanupTest, NothingGoesWithoutATableOrAListingOrThroughASwappedDirectory)
{
    QTemporaryDir root;
    const QString dir = root.filePath("status");
    ASSERT_TRUE(QDir().mkpath(dir));
    QFile file(dir + "/dead0002-status.json");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    int asked = 0;
    const auto reader = [&](std::optional<ProcessTable> table) {
        return [&asked, table]() -> QCoro::Task<std::optional<ProcessTable>> {
            ++asked;
            co_return table;
        };
    };
    const ProcessTable nothingLive = ProcessTable::parse("1 0 ? init\n", QDateTime::currentDateTimeUtc().addSecs(60));
    const StaleFileCleanup::ProcessDirectory noDirectory = [](const QString&) { return std::nullopt; };
    common::SystemClock clock;

    // No table: every session would look dead.
    QCoro::waitFor(StaleFileCleanup::run(StatusDirectory(dir), reader(std::nullopt), noDirectory, clock));
    // No listing: ps is not even run.
    const StatusDirectory unlistable(dir, [](const QString&) { return std::nullopt; });
    QCoro::waitFor(StaleFileCleanup::run(unlistable, reader(nothingLive), noDirectory, clock));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(file.exists());
    // Swapped for a link while the table is read: nothing is deleted through the link.
    const auto swapWhileReading = [&]() -> QCoro::Task<std::optional<ProcessTable>> {
        EXPECT_TRUE(QDir(root.path()).rename("status", "moved") && QFile::link(root.filePath("moved"), dir));
        co_return nothingLive;
    };
    QCoro::waitFor(StaleFileCleanup::run(StatusDirectory(dir), swapWhileReading, noDirectory, clock));
    EXPECT_TRUE(QFile::exists(root.filePath("moved/dead0002-status.json")));
    ASSERT_TRUE(QFile::remove(dir) && QDir(root.path()).rename("moved", "status"));

    QCoro::waitFor(StaleFileCleanup::run(StatusDirectory(dir), reader(nothingLive), noDirectory, clock));
    EXPECT_FALSE(file.exists());
}

// A session recorded with its agent's process stays while that process runs, though no agent murmeli knows by name
// works in its folder: it is listed again after the restart.
TEST(StaleFileCleanupTest, ARecordedAgentProcessThatStillRunsKeepsItsSession)
{
    const auto self = AgentProcessId::ofPid(QCoreApplication::applicationPid());
    ASSERT_TRUE(self);
    const struct {
        const char* key;
        std::optional<AgentProcessId> agent;
        bool deleted;
    } cases[] = { { "runs0001", *self, false },
        { "gone0002", AgentProcessId { self->pid, self->startTicks + 1 }, true }, { "none0003", std::nullopt, true } };
    QTemporaryDir root;
    QStringList names;
    for (const auto& c : cases) {
        names << QStringLiteral("%1-session.json").arg(c.key) << QStringLiteral("%1-status.json").arg(c.key);
        QFile file(root.filePath(names[names.size() - 2]));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            SessionRecord { QStringLiteral("%1-0000").arg(c.key), "codex", { "/w", "/w" }, {}, c.agent }.toJson());
    }
    const QStringList doomed = StaleFileCleanup::staleNames(
        names,
        StaleFileCleanup::running(
            ProcessTable::parse("1 0 ? /sbin/init\n", takenAt), [](const QString&) { return std::nullopt; }),
        root.path(), [](const QString&) { return std::optional(takenAt.addSecs(-60)); },
        [](const QString&) {
            return SessionFolders { "/w", "/w" };
        });
    for (const auto& c : cases) {
        EXPECT_EQ(doomed.filter(c.key).size(), c.deleted ? 2 : 0) << c.key;
    }
}

} // namespace
} // namespace murmeli::hooks
