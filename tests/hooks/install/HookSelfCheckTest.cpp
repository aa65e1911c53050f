#include "main/hooks/install/HookSelfCheck.h"

#include <ostream>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace murmeli::hooks::HookSelfCheck {

// Found by argument-dependent lookup, so failures show the issue instead of its bytes.
[[maybe_unused]] static void PrintTo(const Issue& issue, std::ostream* out)
{
    *out << message(issue).toStdString();
}

namespace {

const QString settingsPath = QStringLiteral("/home/u/.claude/settings.json");

QJsonObject entry(const QString& command)
{
    return { { "type", "command" }, { "command", command } };
}

QJsonObject group(const QJsonArray& entries)
{
    return { { "matcher", "*" }, { "hooks", entries } };
}

QByteArray settings(const QJsonObject& hooks)
{
    return QJsonDocument(QJsonObject { { "model", "opus" }, { "hooks", hooks } }).toJson();
}

// Stands in for the disk: answers from a fixed set and remembers every path it was asked about.
class FakeDisk {
public:
    explicit FakeDisk(QSet<QString> existing = {}) : m_existing(std::move(existing)) { }

    FileExists check()
    {
        return [this](const QString& path) {
            m_asked.append(path);
            return m_existing.contains(path);
        };
    }

    const QStringList& asked() const { return m_asked; }

private:
    QSet<QString> m_existing;
    QStringList m_asked;
};

Report runOne(const QString& event, const QJsonValue& groups, FakeDisk& disk)
{
    return run(settings({ { event, groups } }), settingsPath, disk.check(), { event });
}

TEST(HookSelfCheckRunTest, ForeignStopCommandLeavesEveryRequiredEventMissing)
{
    const QStringList required = requiredHooks();
    ASSERT_EQ(required.size(), 18);
    ASSERT_TRUE(required.contains(QStringLiteral("Stop")));
    ASSERT_FALSE(required.contains(QStringLiteral("status")));

    FakeDisk disk;
    const QByteArray data = settings({ { "Stop", QJsonArray { group({ entry("/usr/bin/other-notifier stop") }) } } });
    const Report report = run(data, settingsPath, disk.check());

    Report expected;
    for (const QString& event : required) {
        expected.issues.append(Issue::missingEvent(event));
    }
    EXPECT_EQ(report, expected);
    EXPECT_TRUE(disk.asked().isEmpty());
}

TEST(HookSelfCheckRunTest, OwnHooksForEveryEventWithScriptsPresentIsClean)
{
    QJsonObject hooks;
    for (const QString& event : requiredHooks()) {
        hooks.insert(event, QJsonArray { group({ entry("/opt/murmeli/hook " + event) }) });
    }
    FakeDisk disk({ QStringLiteral("/opt/murmeli/hook") });
    const Report report = run(settings(hooks), settingsPath, disk.check());
    EXPECT_FALSE(report.hasIssues());
    EXPECT_EQ(disk.asked().size(), 18);
}

TEST(HookSelfCheckRunTest, QuotedPathWithSpaceIsLookedUpWhole)
{
    const QString command = QStringLiteral("'/opt/My Tools/murmeli-hook' Stop");
    const QJsonArray groups { group({ entry(command) }) };

    FakeDisk present({ QStringLiteral("/opt/My Tools/murmeli-hook") });
    EXPECT_FALSE(runOne(QStringLiteral("Stop"), groups, present).hasIssues());

    FakeDisk absent;
    EXPECT_EQ(runOne(QStringLiteral("Stop"), groups, absent).issues,
        QList<Issue> { Issue::staleScript(QStringLiteral("Stop"), QStringLiteral("/opt/My Tools/murmeli-hook")) });
}

TEST(HookSelfCheckRunTest, UnquotedRelativePathIsAskedAsWritten)
{
    FakeDisk disk;
    const Report report = runOne(QStringLiteral("Notification"),
        QJsonArray { group({ entry("~/bin/murmeli-notify --event Notification") }) }, disk);
    EXPECT_EQ(disk.asked(), QStringList { QStringLiteral("~/bin/murmeli-notify") });
    EXPECT_EQ(report.issues,
        QList<Issue> { Issue::staleScript(QStringLiteral("Notification"), QStringLiteral("~/bin/murmeli-notify")) });
}

TEST(HookSelfCheckRunTest, SameMissingScriptTwiceGivesTwoIssues)
{
    FakeDisk disk;
    const QJsonArray groups { group({ entry("/gone/murmeli-hook a") }), group({ entry("/gone/murmeli-hook b") }) };
    const Issue stale = Issue::staleScript(QStringLiteral("Stop"), QStringLiteral("/gone/murmeli-hook"));
    EXPECT_EQ(runOne(QStringLiteral("Stop"), groups, disk).issues, (QList<Issue> { stale, stale }));
}

TEST(HookSelfCheckRunTest, EmptyScriptPathIsNotAStaleScript)
{
    FakeDisk disk;
    const Report report = runOne(QStringLiteral("Stop"), QJsonArray { group({ entry("\"\" murmeli") }) }, disk);
    EXPECT_FALSE(report.hasIssues());
    EXPECT_TRUE(disk.asked().isEmpty());
}

TEST(HookSelfCheckRunTest, OnlyNonEmptyStringsWithACaseExactMarkerCount)
{
    FakeDisk disk;
    const QJsonArray notOurs { group({ entry("/x/MURMELI-hook"), entry("/x/vantor-hook"), entry(""),
        QJsonObject { { "command", 7 } }, QJsonObject { { "type", "command" } } }) };
    EXPECT_EQ(runOne(QStringLiteral("Stop"), notOurs, disk).issues,
        QList<Issue> { Issue::missingEvent(QStringLiteral("Stop")) });

    FakeDisk other({ QStringLiteral("/x/Vantor-hook") });
    EXPECT_FALSE(runOne(QStringLiteral("Stop"), QJsonArray { group({ entry("/x/Vantor-hook") }) }, other).hasIssues());
}

TEST(HookSelfCheckGroupTest, EmptyHooksListSkipsTheGroupEvenWithItsOwnCommand)
{
    FakeDisk disk({ QStringLiteral("/opt/murmeli/hook") });
    const QJsonObject emptied { { "hooks", QJsonArray {} }, { "command", "/opt/murmeli/hook" } };
    EXPECT_EQ(runOne(QStringLiteral("Stop"), QJsonArray { emptied }, disk).issues,
        QList<Issue> { Issue::missingEvent(QStringLiteral("Stop")) });
}

TEST(HookSelfCheckGroupTest, GroupWithoutUsableHooksListIsItsOwnEntry)
{
    const QJsonObject bare { { "command", "/gone/murmeli-a" } };
    const QJsonObject wrongType { { "hooks", "not a list" }, { "command", "/gone/murmeli-b" } };
    const QJsonObject mixed { { "hooks", QJsonArray { entry("/gone/murmeli-c"), 5 } },
        { "command", "/gone/murmeli-d" } };
    FakeDisk disk;
    const Report report = runOne(QStringLiteral("Stop"), QJsonArray { bare, wrongType, mixed }, disk);
    EXPECT_EQ(disk.asked(),
        (QStringList {
            QStringLiteral("/gone/murmeli-a"), QStringLiteral("/gone/murmeli-b"), QStringLiteral("/gone/murmeli-d") }));
    EXPECT_EQ(report.issues.size(), 3);
}

TEST(HookSelfCheckGroupTest, EventListWithANonObjectCountsAsNoGroups)
{
    FakeDisk disk({ QStringLiteral("/opt/murmeli/hook") });
    const QJsonArray groups { group({ entry("/opt/murmeli/hook") }), QStringLiteral("stray") };
    EXPECT_EQ(runOne(QStringLiteral("Stop"), groups, disk).issues,
        QList<Issue> { Issue::missingEvent(QStringLiteral("Stop")) });
    EXPECT_EQ(runOne(QStringLiteral("Stop"), QJsonObject { { "hooks", "x" } }, disk).issues,
        QList<Issue> { Issue::missingEvent(QStringLiteral("Stop")) });
}

TEST(HookSelfCheckGroupTest, WrongTypedHooksBlockMeansEveryEventMissing)
{
    FakeDisk disk;
    const QByteArray data = QJsonDocument(QJsonObject { { "hooks", QJsonArray { 1, 2 } } }).toJson();
    const Report report
        = run(data, settingsPath, disk.check(), { QStringLiteral("Stop"), QStringLiteral("SessionEnd") });
    EXPECT_EQ(report.issues,
        (QList<Issue> {
            Issue::missingEvent(QStringLiteral("Stop")), Issue::missingEvent(QStringLiteral("SessionEnd")) }));
}

TEST(HookSelfCheckGroupTest, NoRequiredEventsGivesACleanReport)
{
    FakeDisk disk;
    EXPECT_FALSE(run(QByteArray("{\"hooks\": 3}"), settingsPath, disk.check(), {}).hasIssues());
    EXPECT_FALSE(run(QByteArray("{}"), settingsPath, disk.check(), {}).hasIssues());
}

TEST(HookSelfCheckParseTest, AnythingButAJsonObjectIsUnparseable)
{
    FakeDisk disk;
    const Report expected { { Issue::settingsUnparseable(settingsPath) } };
    for (const QByteArray& data : { QByteArray("{\"hooks\": {"), QByteArray("[{}]"), QByteArray("\"text\""),
             QByteArray("42"), QByteArray(), QByteArray("\xff\xfe{}") }) {
        EXPECT_EQ(run(data, settingsPath, disk.check(), {}), expected) << data.toStdString();
    }
}

TEST(HookSelfCheckRunTest, UnsetFileCheckFallsBackToTheDisk)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("murmeli-hook"));
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const QByteArray present = settings({ { "Stop", QJsonArray { group({ entry(script + " Stop") }) } } });
    EXPECT_FALSE(run(present, settingsPath, FileExists {}, { QStringLiteral("Stop") }).hasIssues());

    const QString gone = dir.filePath(QStringLiteral("murmeli-gone"));
    const QByteArray missing = settings({ { "Stop", QJsonArray { group({ entry(gone) }) } } });
    EXPECT_EQ(run(missing, settingsPath, FileExists {}, { QStringLiteral("Stop") }).issues,
        QList<Issue> { Issue::staleScript(QStringLiteral("Stop"), gone) });
}

class HookSelfCheckFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    Report check(const QString& file) { return run(file, m_disk.check(), { QStringLiteral("Stop") }); }

    QTemporaryDir m_dir;
    FakeDisk m_disk;
};

TEST_F(HookSelfCheckFileTest, ReadableFileIsChecked)
{
    const QString file = path(QStringLiteral("settings.json"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(settings({}));
    out.close();
    EXPECT_EQ(check(file).issues, QList<Issue> { Issue::missingEvent(QStringLiteral("Stop")) });
}

TEST_F(HookSelfCheckFileTest, MissingFileOrDirectoryIsSettingsMissing)
{
    const QString absent = path(QStringLiteral("nope.json"));
    EXPECT_EQ(check(absent), Report { { Issue::settingsMissing(absent) } });
    EXPECT_EQ(check(m_dir.path()), Report { { Issue::settingsMissing(m_dir.path()) } });
}

TEST_F(HookSelfCheckFileTest, FifoIsNotOpened)
{
    const QString fifo = path(QStringLiteral("settings.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(check(fifo), Report { { Issue::settingsMissing(fifo) } });
}

TEST_F(HookSelfCheckFileTest, OversizedFileIsSettingsMissing)
{
    const QString big = path(QStringLiteral("settings.json"));
    QFile out(big);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_TRUE(out.resize(StatusFiles::maxSettingsBytes + 1)); // sparse, so the test writes almost nothing
    out.close();
    EXPECT_EQ(check(big), Report { { Issue::settingsMissing(big) } });
}

TEST_F(HookSelfCheckFileTest, DefaultPathIsInTheHomeDirectory)
{
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    const Report report = run();
    qputenv("HOME", savedHome);
    EXPECT_EQ(report, Report { { Issue::settingsMissing(m_dir.path() + QStringLiteral("/.claude/settings.json")) } });
}

TEST(HookSelfCheckScriptPathTest, FirstWordOrQuotedPath)
{
    const std::pair<QString, QString> cases[] = {
        { QStringLiteral(""), QStringLiteral("") },
        { QStringLiteral(" \t "), QStringLiteral("") },
        { QStringLiteral("/only/path"), QStringLiteral("/only/path") },
        { QStringLiteral(" \t/usr/bin/murmeli-hook Stop --x"), QStringLiteral("/usr/bin/murmeli-hook") },
        { QStringLiteral("/a/b\tc"), QStringLiteral("/a/b") },
        { QStringLiteral("/a/b\nc"), QStringLiteral("/a/b") },
        { QStringLiteral("/a/b\u00A0c"), QStringLiteral("/a/b") },
        { QStringLiteral("\n/a/b"), QStringLiteral("") },
        { QStringLiteral("\"/x y/z\" arg"), QStringLiteral("/x y/z") },
        { QStringLiteral("'a\"b' c"), QStringLiteral("a\"b") },
        { QStringLiteral("'/no closing quote"), QStringLiteral("/no closing quote") },
        { QStringLiteral("'' murmeli"), QStringLiteral("") },
        { QStringLiteral("/a/'b c'"), QStringLiteral("/a/'b") },
        // As the installers quote a path with a quote in it.
        { QStringLiteral("'/h/it'\\''s \"b & c\"/murmeli/hooks/x' Stop"),
            QStringLiteral("/h/it's \"b & c\"/murmeli/hooks/x") },
        { QStringLiteral("\"/a b\"'/c'\\ d e"), QStringLiteral("/a b/c d") },
    };
    for (const auto& [command, path] : cases) {
        EXPECT_EQ(scriptPath(command), path) << command.toStdString();
    }
}

TEST(HookSelfCheckMessageTest, ExactLogLines)
{
    const QString p = QStringLiteral("/h/.claude/settings.json");
    EXPECT_EQ(message(Issue::missingEvent(QStringLiteral("Stop"))),
        QString::fromUtf8("[diag] startup: required hook Stop missing — open Settings → Integrations and press "
                          "Install… on the Claude Code row"));
    EXPECT_EQ(message(Issue::staleScript(QStringLiteral("Stop"), QStringLiteral("/s/murmeli-hook"))),
        QString::fromUtf8("[diag] startup: Stop hook entry points to missing script /s/murmeli-hook — open Settings → "
                          "Integrations and press Install… on the Claude Code row"));
    EXPECT_EQ(message(Issue::settingsMissing(p)),
        QString::fromUtf8("[diag] startup: ~/.claude/settings.json not found at /h/.claude/settings.json — run Claude "
                          "Code once, then open Settings → Integrations and press Install… on the Claude Code row"));
    EXPECT_EQ(message(Issue::settingsUnparseable(p)),
        QString::fromUtf8("[diag] startup: ~/.claude/settings.json at /h/.claude/settings.json is not valid JSON — "
                          "open Settings → Integrations and press Install… on the Claude Code row"));
}

TEST(HookSelfCheckMessageTest, EmitLogsEachIssueInOrder)
{
    const Report report { { Issue::missingEvent(QStringLiteral("Stop")), Issue::settingsMissing(QStringLiteral("/p")),
        Issue::missingEvent(QStringLiteral("Stop")) } };
    QStringList lines;
    emit(report, [&](const QString& line) { lines.append(line); });
    EXPECT_EQ(lines, (QStringList { message(report.issues[0]), message(report.issues[1]), message(report.issues[2]) }));

    lines.clear();
    emit(Report {}, [&](const QString& line) { lines.append(line); });
    EXPECT_TRUE(lines.isEmpty());
    emit(report, {}); // an unset sink is simply not called
}

TEST(HookSelfCheckMessageTest, IssuesDifferByKindAsWellAsText)
{
    const QString p = QStringLiteral("/p");
    EXPECT_NE(Issue::settingsMissing(p), Issue::settingsUnparseable(p));
    EXPECT_NE(Issue::staleScript(QStringLiteral("Stop"), p), Issue::staleScript(QStringLiteral("Stop"), p + "x"));
    EXPECT_NE(Issue::missingEvent(QStringLiteral("Stop")), Issue::missingEvent(QStringLiteral("SessionEnd")));
    EXPECT_EQ(Issue::missingEvent(QStringLiteral("Stop")), Issue::missingEvent(QStringLiteral("Stop")));
}

} // namespace
} // namespace murmeli::hooks::HookSelfCheck
