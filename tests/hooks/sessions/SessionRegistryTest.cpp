#include <gtest/gtest.h>

#include <functional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "main/hooks/sessions/SessionRecord.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/sessions/StatusFiles.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using hooks::SessionKey;
using hooks::SessionRegistry;
using hooks::SessionSnapshot;

namespace {

SessionKey key(const char* text)
{
    return *SessionKey::fromFileKey(QLatin1String(text));
}

class SessionRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        registry.onLog = [this](const QString& line) { lines << line; };
    }

    QString dirPath() const { return root.path() + QStringLiteral("/murmeli"); }

    // A file in the status directory whose modification time is `ageSecs` before the clock's now.
    void file(const QString& name, qint64 ageSecs, const QByteArray& content = "{}")
    {
        QDir().mkpath(dirPath());
        QFile f(dirPath() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.flush(); // a later flush would move the time we set
        ASSERT_TRUE(f.setFileTime(clock.now().addSecs(-ageSecs), QFileDevice::FileModificationTime));
    }

    QStringList keys() const
    {
        QStringList out;
        for (const SessionSnapshot& s : registry.sessions()) {
            out << s.sid8.text();
        }
        return out;
    }

    QString selectedText() const { return registry.selectedSid() ? registry.selectedSid()->text() : QString(); }

    const SessionSnapshot& entry(const char* text) const
    {
        const auto& list = registry.sessions();
        return *std::find_if(list.begin(), list.end(), [&](const SessionSnapshot& s) { return s.sid8 == key(text); });
    }

    QTemporaryDir root;
    test::FakeClock clock { QDateTime::currentDateTimeUtc() };
    SessionRegistry registry { hooks::StatusDirectory(root.path() + QStringLiteral("/murmeli")), clock,
        root.path() + QStringLiteral("/legacy-status.json") };
    QStringList lines;
};

} // namespace

TEST_F(SessionRegistryTest, ListsActiveSessionsMostRecentFirstWithTiesByKey)
{
    file(QStringLiteral("bbbb2222-status.json"), 100);
    file(QStringLiteral("aaaa1111-status.json"), 100);
    file(QStringLiteral("cccc3333-status.json"), 10);
    file(QStringLiteral("dddd4444-status.json"), 7199);
    file(QStringLiteral("eeee5555-status.json"), 7200);
    registry.refresh();
    EXPECT_EQ(keys(),
        (QStringList { QStringLiteral("cccc3333"), QStringLiteral("aaaa1111"), QStringLiteral("bbbb2222"),
            QStringLiteral("dddd4444") }));
    EXPECT_EQ(lines,
        (QStringList { QStringLiteral("Sessions: 4 active [cccc3333, aaaa1111, bbbb2222, dddd4444]"),
            QStringLiteral("Session → cccc3333 (auto)") }));

    // An unchanged list logs nothing; one that loses a member to age logs the new list.
    registry.refresh();
    EXPECT_EQ(lines.size(), 2);
    clock.advance(1000);
    registry.refresh();
    EXPECT_EQ(lines.last(), QStringLiteral("Sessions: 3 active [cccc3333, aaaa1111, bbbb2222]"));
}

TEST_F(SessionRegistryTest, KeysMustBeLongEnoughAndSafe)
{
    file(QStringLiteral("abc-status.json"), 1);
    file(QStringLiteral("-status.json"), 1);
    file(QStringLiteral("ab cd.ef-status.json"), 1);
    file(QStringLiteral("good_k-1-status.json"), 1);
    registry.refresh();
    EXPECT_EQ(keys(), QStringList { QStringLiteral("good_k-1") });
}

TEST_F(SessionRegistryTest, ActivityAndNotificationTimesDecideDotAndPending)
{
    file(QStringLiteral("s1111111-status.json"), 9000);
    file(QStringLiteral("s1111111-activity.json"), 5);
    file(QStringLiteral("s2222222-status.json"), 9000);
    file(QStringLiteral("s2222222-activity.json"), 10);
    file(QStringLiteral("s3333333-status.json"), 1);
    file(QStringLiteral("s3333333-notify.json"), 59, R"({"type":"permission","ts":1})");
    file(QStringLiteral("s4444444-status.json"), 1);
    file(QStringLiteral("s4444444-notify.json"), 60, R"({"type":"permission"})");
    file(QStringLiteral("s5555555-status.json"), 1);
    file(QStringLiteral("s5555555-notify.json"), 1, R"({"type":"idle"})");
    registry.refresh();
    ASSERT_EQ(registry.sessions().size(), 5u); // the old status files live on through their recent activity
    EXPECT_EQ(entry("s1111111").dotColor(clock.now()), QStringLiteral("blue"));
    EXPECT_EQ(entry("s2222222").dotColor(clock.now()), QStringLiteral("green"));
    EXPECT_TRUE(entry("s3333333").isPendingApproval);
    EXPECT_EQ(entry("s3333333").dotColor(clock.now()), QStringLiteral("red"));
    EXPECT_FALSE(entry("s4444444").isPendingApproval);
    EXPECT_FALSE(entry("s5555555").isPendingApproval);
    // A notice that the agent waits for input is no sign that it did anything; a permission prompt is.
    EXPECT_TRUE(entry("s4444444").notifyMtime.has_value());
    EXPECT_FALSE(entry("s5555555").notifyMtime.has_value());
}

TEST_F(SessionRegistryTest, AnnouncedSessionsLiveInMemoryUntilTheirFilesAppear)
{
    registry.addSession(key("abc"), QString(), QString());
    EXPECT_TRUE(registry.sessions().empty());

    registry.addSession(key("mem11111"), QStringLiteral("/w"), QStringLiteral("codex"));
    EXPECT_EQ(lines, QStringList { QStringLiteral("Sessions: 1 active [mem11111]") });
    EXPECT_EQ(selectedText(), QStringLiteral("mem11111"));
    registry.setHookSessionTitle(key("mem11111"), QStringLiteral("  Fix the build \n"));
    registry.setHookSessionTitle(key("mem11111"), QStringLiteral("   "));

    // A second announcement replaces the entry in place without a log line.
    registry.addSession(key("mem11111"), QString(), QStringLiteral("claude"));
    EXPECT_EQ(lines.size(), 1);
    ASSERT_EQ(registry.sessions().size(), 1u);
    EXPECT_EQ(registry.sessions().front().adapter, QStringLiteral("claude"));
    EXPECT_EQ(registry.sessions().front().hookSessionTitle, QStringLiteral("Fix the build"));

    registry.refresh();
    ASSERT_EQ(registry.sessions().size(), 1u);
    EXPECT_TRUE(registry.sessions().front().inMemoryOnly);

    // The status file turns it into a file entry that keeps its title.
    file(QStringLiteral("mem11111-status.json"), 0);
    registry.refreshSnapshot(key("mem11111"));
    EXPECT_FALSE(registry.sessions().front().inMemoryOnly);
    EXPECT_EQ(registry.sessions().front().hookSessionTitle, QStringLiteral("Fix the build"));
    EXPECT_TRUE(registry.sessions().front().adapter.isEmpty());
}

// At start-up the sessions of earlier runs are listed from their files while the cleanup looks for their agents; a
// session whose files it then removes goes from the list, though its latest event was recent.
TEST_F(SessionRegistryTest, ASessionListedFromFilesThatAreRemovedGoesWithThem)
{
    const auto record = [this](const char* id, const char* adapter) {
        return QStringLiteral(R"({"session_id":"%1","adapter":"%2","ts":%3,"workspace":{"current_dir":"/w",)"
                              R"("project_dir":"/w"}})")
            .arg(QLatin1String(id), QLatin1String(adapter))
            .arg(clock.now().toSecsSinceEpoch() - 60)
            .toUtf8();
    };
    const struct {
        const char* what;
        std::function<void()> list;
        const char* key;
        bool listedAfterwards;
    } cases[] = {
        { "by its status line and its record",
            [&] {
                file(QStringLiteral("c1aude00-status.json"), 60);
                file(QStringLiteral("c1aude00-session.json"), 60, record("c1aude00-1111", "claude-code"));
            },
            "c1aude00", false },
        { "by its record alone",
            [&] { file(QStringLiteral("c0dex000-session.json"), 60, record("c0dex000-2222", "codex")); }, "c0dex000",
            false },
        { "by its hook events, its files not written yet",
            [&] { registry.addSession(key("a11ounce"), QStringLiteral("/w"), QStringLiteral("codex")); }, "a11ounce",
            true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.list();
        registry.refresh();
        ASSERT_TRUE(keys().contains(QLatin1String(c.key)));
        for (const QString& name : QDir(dirPath()).entryList({ QLatin1String(c.key) + u'*' }, QDir::Files)) {
            ASSERT_TRUE(QFile::remove(dirPath() + u'/' + name));
        }
        registry.refresh();
        EXPECT_EQ(keys().contains(QLatin1String(c.key)), c.listedAfterwards);
    }
}

// After a restart a session listed from its record keeps the agent its events came from and, where that is not the
// agent, the server that ran its hooks and the windows beside it that may be its own: whether it had one tells whether
// one gone leaves it with nothing.
TEST_F(SessionRegistryTest, ARestartKeepsEachSessionsAgentAndTheServerThatRanItsHooks)
{
    const hooks::AgentProcessId agent { 4242, 42420 };
    const hooks::AgentProcessId server { 4343, 43430 };
    const struct {
        const char* what;
        const char* id;
        hooks::AgentProcessId agent;
        hooks::AgentProcessId ranHooks;
        std::optional<hooks::AgentProcessId> hooksProcess;
        std::vector<hooks::AgentProcessId> windows = {}; // that could have been its own, which the server's look saw
    } cases[] = {
        { "its agent ran its hooks", "a9e00000-1111", agent, agent, std::nullopt },
        { "a server ran them for its agent", "5e7ed000-2222", agent, server, server },
        { "a server ran them, tied to no agent", "5e7f0000-3333", server, server, std::nullopt },
        { "a server ran them, tied to no agent, beside windows that may be its own", "5e800000-4444", server, server,
            std::nullopt, { agent, { 4444, 44440 } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<SessionKey> sid = registry.keyFor(QLatin1String(c.id));
        ASSERT_TRUE(sid);
        registry.addSession(*sid, QStringLiteral("/w"), QStringLiteral("codex"));
        registry.noteEvent(*sid, QStringLiteral("codex"), false);
        registry.setHookAgent(*sid, c.agent, c.ranHooks);
        registry.setHookWindows(*sid, c.windows);
        const std::optional<hooks::SessionRecord> written = registry.recordOf(*sid);
        ASSERT_TRUE(written);
        file(hooks::StatusFiles::fileName(*sid, hooks::StatusFileKind::Session), 0, written->toJson());

        SessionRegistry restarted { hooks::StatusDirectory(dirPath()), clock, root.path() + QStringLiteral("/legacy") };
        restarted.refresh();
        const auto& list = restarted.sessions();
        const auto listed
            = std::find_if(list.begin(), list.end(), [&](const SessionSnapshot& s) { return s.sid8 == *sid; });
        ASSERT_NE(listed, list.end());
        EXPECT_EQ(listed->hookAgent, c.agent);
        EXPECT_EQ(listed->hooksProcess, c.hooksProcess);
        EXPECT_EQ(restarted.hookWindowsOf(*sid), c.windows);
    }
}

// A row never leaves the list without a word of why.
TEST_F(SessionRegistryTest, EveryRowThatLeavesTheListSaysWhy)
{
    const struct {
        const char* what;
        const char* key;
        std::function<void()> then;
        const char* line;
    } cases[] = {
        { "its files removed", "f11e5000", [&] { QFile::remove(dirPath() + QStringLiteral("/f11e5000-session.json")); },
            "Sessions: f11e5000 left the list: its files are gone" },
        { "nothing from it for two hours", "0ld00000",
            [&] { clock.advance(qint64(SessionRegistry::sessionSafetyWindowSeconds) * 1000); },
            "Sessions: 0ld00000 left the list: nothing came from it for 2 hours" },
        { "the status folder unreadable", "5ea1ed00",
            [&] {
                // A file where the folder should be.
                QDir(dirPath()).removeRecursively();
                QFile blocker(dirPath());
                ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
            },
            "Sessions: the status folder cannot be read; its 1 sessions leave the list until it can" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        file(QLatin1String(c.key) + QStringLiteral("-session.json"), 0,
            QStringLiteral(R"({"session_id":"%1-1111","adapter":"codex","ts":%2})")
                .arg(QLatin1String(c.key))
                .arg(clock.now().toSecsSinceEpoch())
                .toUtf8());
        registry.refresh();
        ASSERT_EQ(keys(), QStringList { QLatin1String(c.key) });
        lines.clear();
        c.then();
        registry.refresh();
        EXPECT_TRUE(keys().isEmpty());
        EXPECT_TRUE(lines.contains(QLatin1String(c.line))) << lines.join(u'\n').toStdString();
        QFile::remove(dirPath());
        QDir(dirPath()).removeRecursively();
    }
}

TEST_F(SessionRegistryTest, RefreshSnapshotPatchesWithoutReordering)
{
    file(QStringLiteral("aaaa1111-status.json"), 50);
    file(QStringLiteral("bbbb2222-status.json"), 10);
    registry.refresh();
    EXPECT_EQ(keys(), (QStringList { QStringLiteral("bbbb2222"), QStringLiteral("aaaa1111") }));
    file(QStringLiteral("aaaa1111-status.json"), 0);
    registry.refreshSnapshot(key("aaaa1111"));
    EXPECT_EQ(keys(), (QStringList { QStringLiteral("bbbb2222"), QStringLiteral("aaaa1111") }));
    // Without a minimum length; the next full refresh drops it again.
    file(QStringLiteral("xyz-status.json"), 0);
    registry.refreshSnapshot(key("xyz"));
    EXPECT_EQ(keys().size(), 3);
    registry.refresh();
    EXPECT_EQ(keys(), (QStringList { QStringLiteral("aaaa1111"), QStringLiteral("bbbb2222") }));
    // No status file: an in-memory entry stays as it is.
    registry.addSession(key("memo0000"), QString(), QString());
    registry.refreshSnapshot(key("memo0000"));
    EXPECT_TRUE(registry.sessions().front().inMemoryOnly);
}

TEST_F(SessionRegistryTest, RemovingDeletesFilesAndMovesTheSelection)
{
    for (const char* key : { "aaaa1111", "bbbb2222" }) {
        for (const char* suffix : { "-status.json", "-activity.json", "-notify.json", "-transcript-path.txt" }) {
            file(QLatin1String(key) + QLatin1String(suffix), 5);
        }
    }
    registry.refresh();
    registry.select(key("bbbb2222"));
    registry.setHookLastAssistant(key("bbbb2222"), QStringLiteral("done"));
    lines.clear();
    registry.removeSession(key("bbbb2222"));
    EXPECT_EQ(lines, QStringList { QStringLiteral("Sessions: 1 active [aaaa1111]") });
    EXPECT_EQ(selectedText(), QStringLiteral("aaaa1111"));
    EXPECT_EQ(QDir(dirPath()).entryList(QDir::Files).filter(QStringLiteral("bbbb2222")), QStringList());
    EXPECT_EQ(QDir(dirPath()).entryList(QDir::Files).filter(QStringLiteral("aaaa1111")).size(), 4);

    registry.removeSession(key("zzzz9999"));
    EXPECT_EQ(lines.size(), 1);
    registry.removeSession(key("aaaa1111"));
    EXPECT_FALSE(registry.selectedSid().has_value());
    EXPECT_FALSE(registry.selected().has_value());
}

TEST_F(SessionRegistryTest, SelectionWrapsAndLogsItsPosition)
{
    file(QStringLiteral("aaaa1111-status.json"), 3);
    file(QStringLiteral("bbbb2222-status.json"), 2);
    file(QStringLiteral("cccc3333-status.json"), 1);
    registry.refresh();
    lines.clear();
    registry.selectNext();
    EXPECT_EQ(lines.last(), QStringLiteral("Session → bbbb2222 [2/3]"));
    registry.selectNext();
    registry.selectNext();
    EXPECT_EQ(lines.last(), QStringLiteral("Session → cccc3333 [1/3]"));
    registry.selectPrev();
    EXPECT_EQ(lines.last(), QStringLiteral("Session → aaaa1111 [3/3]"));
    registry.select(key("aaaa1111"));
    registry.select(key("nope0000"));
    EXPECT_EQ(lines.size(), 4);
}

TEST_F(SessionRegistryTest, UnlistableDirectoryEmptiesTheListButKeepsTheSelectionKey)
{
    file(QStringLiteral("aaaa1111-status.json"), 1);
    registry.refresh();
    ASSERT_EQ(selectedText(), QStringLiteral("aaaa1111"));
    QDir(dirPath()).removeRecursively();
    QFile blocker(dirPath());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the directory should be
    blocker.close();
    registry.refresh();
    EXPECT_TRUE(registry.sessions().empty());
    EXPECT_EQ(selectedText(), QStringLiteral("aaaa1111"));
    EXPECT_EQ(registry.selectedIndex(), 0);
    EXPECT_FALSE(registry.selected().has_value());
}

TEST_F(SessionRegistryTest, OwnDirectoryThatCannotBeListedIsAFailureNotAnEmptyList)
{
    // Injected, because root lists a directory of mode 0000 all the same; the real lister's failure is tested
    // with the directory.
    bool listingFails = false;
    SessionRegistry guarded { hooks::StatusDirectory(dirPath(),
                                  [&](const QString& path) {
                                      return listingFails ? std::nullopt : hooks::StatusDirectory::listOnDisk(path);
                                  }),
        clock, root.path() + QStringLiteral("/legacy-status.json") };
    file(QStringLiteral("aaaa1111-status.json"), 1);
    guarded.addSession(key("mem22222"), QString(), QString());
    guarded.refresh();
    ASSERT_EQ(guarded.sessions().size(), 2u);
    const auto selectedBefore = guarded.selectedSid();
    ASSERT_TRUE(selectedBefore.has_value());

    listingFails = true;
    guarded.refresh();
    EXPECT_TRUE(guarded.sessions().empty()); // the in-memory session too
    EXPECT_EQ(guarded.selectedSid(), selectedBefore);
}

TEST_F(SessionRegistryTest, LegacyStatusFileIsAdoptedWhileFresh)
{
    const QString legacy = root.path() + QStringLiteral("/legacy-status.json");
    const QByteArray content = R"({"session_id":"0123abcd-5678-90ef-1234-567890abcdef","model":{}})";
    const auto writeLegacy = [&](qint64 age) {
        QFile f(legacy);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.flush(); // a later flush would move the time we set
        ASSERT_TRUE(f.setFileTime(clock.now().addSecs(-age), QFileDevice::FileModificationTime));
    };
    writeLegacy(900);
    registry.refresh();
    EXPECT_TRUE(registry.sessions().empty());

    writeLegacy(899);
    registry.refresh();
    EXPECT_EQ(keys(), QStringList { QStringLiteral("0123abcd") });
    QFile copy(dirPath() + QStringLiteral("/0123abcd-status.json"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), content);
}

TEST_F(SessionRegistryTest, LegacyStatusFileIsTakenOnlyAsARegularFileOfOurOwn)
{
    const QString legacy = root.path() + QStringLiteral("/legacy-status.json");
    const QString planted = root.path() + QStringLiteral("/planted.json");
    QFile f(planted);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"session_id":"0123abcd-5678"})");
    f.close();

    ASSERT_TRUE(QFile::link(planted, legacy));
    registry.refresh();
    EXPECT_TRUE(registry.sessions().empty());

    if (::getuid() == 0) {
        ASSERT_TRUE(QFile::remove(legacy) && QFile::copy(planted, legacy));
        ASSERT_EQ(::chown(QFile::encodeName(legacy).constData(), 65534, 65534), 0);
        registry.refresh();
        EXPECT_TRUE(registry.sessions().empty());
    }
    EXPECT_FALSE(QFile::exists(dirPath() + QStringLiteral("/0123abcd-status.json")));
}

TEST_F(SessionRegistryTest, ListHoldsTheMostRecentSessionsUpToTheBoundAndSaysSoOncePerBurst)
{
    const int bound = int(SessionRegistry::maxSessions);
    const auto name = [](int i) { return QStringLiteral("s%1").arg(i, 7, 10, QLatin1Char('0')); };
    for (int i = 0; i < bound + 2; ++i) {
        file(name(i) + QStringLiteral("-status.json"), i); // s0000000 is the most recent
    }
    registry.refresh();
    ASSERT_EQ(registry.sessions().size(), SessionRegistry::maxSessions);
    EXPECT_EQ(keys().last(), name(bound - 1));
    registry.refresh();
    EXPECT_FALSE(registry.addSession(key("new00000"), QString(), QString()));
    EXPECT_EQ(lines.filter(QStringLiteral("refused")).size(), 1);

    // Room again, then full again: a new burst gets its own line.
    registry.removeSession(key("s0000000"));
    EXPECT_TRUE(registry.addSession(key("new00000"), QString(), QString()));
    EXPECT_FALSE(registry.addSession(key("new00001"), QString(), QString()));
    EXPECT_EQ(lines.filter(QStringLiteral("refused")).size(), 2);
}

// A request's card is drawn on its session's row: while the request waits, the row stays, though its files go or the
// list fills with sessions heard from since; once it is answered, the row goes as any other would.
TEST_F(SessionRegistryTest, ASessionWhoseRequestWaitsKeepsItsRowUntilItIsAnswered)
{
    const int bound = int(SessionRegistry::maxSessions);
    const auto name = [](int i) { return QStringLiteral("s%1").arg(i, 7, 10, QLatin1Char('0')); };
    const struct {
        const char* what;
        std::function<void()> crowd;
    } cases[] = {
        { "its files removed", [&] { QFile::remove(dirPath() + QStringLiteral("/a5ca1100-status.json")); } },
        { "the list filled with sessions heard from since",
            [&] {
                for (int i = 0; i < bound; ++i) {
                    file(name(i) + QStringLiteral("-status.json"), 0);
                }
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(dirPath()).removeRecursively();
        file(QStringLiteral("a5ca1100-status.json"), 60);
        registry.refresh();
        bool waiting = true;
        registry.holdsRequest = [&](const SessionKey& sid) { return waiting && sid == key("a5ca1100"); };
        c.crowd();
        registry.refresh();
        EXPECT_TRUE(keys().contains(QStringLiteral("a5ca1100")));
        EXPECT_LE(registry.sessions().size(), SessionRegistry::maxSessions);
        waiting = false;
        registry.refresh();
        EXPECT_FALSE(keys().contains(QStringLiteral("a5ca1100")));
    }
}

// Whatever burst of ids comes, a session whose request waits keeps its key, an ended session's status line does not
// bring it back, nothing ends the process, and a quarter of an hour after the burst a new session is listed again.
TEST_F(SessionRegistryTest, ABurstOfIdsTakesNoWaitingSessionsKeyNorBringsAnEndedOneBack)
{
    const struct {
        int ids;
        bool endEach; // each id of the burst is listed and ends; else each is announced, and refused once full
    } cases[] = { { 1100, true }, { 3000, false } };
    for (const auto& c : cases) {
        const QString dir = root.filePath(QString::number(c.ids));
        ASSERT_TRUE(QDir().mkpath(dir));
        SessionRegistry burst(hooks::StatusDirectory(dir), clock, root.filePath("none"));
        const QString waiting = "feedface-0000-4000-8000-000000000001", ended = "deadbeef-0000-4000-8000-000000000002";
        burst.holdsRequest = [&](const SessionKey& sid) { return sid == key("feedface"); };
        ASSERT_EQ(burst.keyFor(waiting), key("feedface"));
        ASSERT_TRUE(burst.addSession(*burst.keyFor(ended), QString(), QString()));
        burst.removeSession(key("deadbeef"));
        for (int i = 0; i < c.ids; ++i) {
            std::optional<SessionKey> sid;
            ASSERT_NO_THROW(sid = burst.keyFor(QStringLiteral("%1-burst").arg(i, 8, 10, QLatin1Char('0'))));
            if (sid && burst.addSession(*sid, QString(), QString()) && c.endEach) {
                burst.removeSession(*sid);
            }
        }
        EXPECT_EQ(burst.idOf(key("feedface")), waiting);
        EXPECT_NE(burst.keyFor("feedface-0000-4000-8000-0000000000ff"), key("feedface"));
        EXPECT_TRUE(burst.hasEnded(ended));
        file(QStringLiteral("../%1/deadbeef-status.json").arg(c.ids), 0); // its status line runs once more
        burst.refresh();
        EXPECT_FALSE(burst.contains(key("deadbeef")));
        clock.advance(15 * 60 * 1000);
        const auto fresh = burst.keyFor("c0ffee00-0000-4000-8000-000000000003");
        EXPECT_TRUE(fresh && burst.addSession(*fresh, QString(), QString()) && burst.contains(*fresh)) << c.ids;
    }
}
