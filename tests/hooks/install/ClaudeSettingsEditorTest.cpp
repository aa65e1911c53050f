#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/install/ClaudeSettingsEditor.h"
#include "main/hooks/install/JsonText.h"
#include "tests/support/Files.h"

using namespace murmeli::hooks;
namespace Editor = murmeli::hooks::ClaudeSettingsEditor;

namespace {

const QString hooksDir = QStringLiteral("/home/u/.local/share/murmeli/hooks");

JsonText userSettings()
{
    return *JsonText::parse(R"json({
        "model": "opus",
        "permissions": {"allow": ["Bash(ls:*)"]},
        "hooks": {
            "Stop": [{"hooks": [{"type": "command", "command": "notify-send done"}]}],
            "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "/usr/local/bin/audit"}]}]
        }
    })json");
}

QJsonObject qt(const JsonText& settings)
{
    return QJsonDocument::fromJson(settings.toText()).object();
}

JsonText installed(JsonText settings, const QString& directory = hooksDir, QStringList* notes = nullptr)
{
    QString problem;
    EXPECT_TRUE(Editor::installHooks(settings, directory, notes, &problem)) << problem.toStdString();
    return settings;
}

JsonText removed(JsonText settings)
{
    Editor::removeHooks(settings);
    return settings;
}

QStringList commandsOf(const JsonText& text, const QString& event)
{
    const QJsonObject settings = qt(text);
    QStringList commands;
    for (const QJsonValue& group : settings.value(QStringLiteral("hooks")).toObject().value(event).toArray()) {
        for (const QJsonValue& hook : group.toObject().value(QStringLiteral("hooks")).toArray()) {
            commands << hook.toObject().value(QStringLiteral("command")).toString();
        }
    }
    return commands;
}

} // namespace

TEST(ClaudeSettingsEditorTest, InstallAddsEveryRequiredEventAndKeepsTheUsersEntries)
{
    const JsonText withOurs = installed(userSettings());
    const QJsonObject installed = qt(withOurs);
    EXPECT_EQ(installed.value(QStringLiteral("model")).toString(), QStringLiteral("opus"));
    EXPECT_EQ(installed.value(QStringLiteral("permissions")), qt(userSettings()).value(QStringLiteral("permissions")));
    EXPECT_EQ(
        commandsOf(withOurs, QStringLiteral("PreToolUse")), QStringList { QStringLiteral("/usr/local/bin/audit") });
    EXPECT_EQ(commandsOf(withOurs, QStringLiteral("Stop")),
        (QStringList { QStringLiteral("notify-send done"), QStringLiteral("'%1/session-hook' Stop").arg(hooksDir) }));
    for (const QString& event : HookEventManifest::requiredHookNames()) {
        const QStringList commands = commandsOf(withOurs, event);
        EXPECT_EQ(std::count_if(commands.begin(), commands.end(), &Editor::isOurCommand), 1) << event.toStdString();
    }
    const QJsonObject permission = installed.value(QStringLiteral("hooks"))
                                       .toObject()
                                       .value(QStringLiteral("PermissionRequest"))
                                       .toArray()
                                       .at(0)
                                       .toObject();
    EXPECT_EQ(permission.value(QStringLiteral("matcher")).toString(), QStringLiteral("*"));
    // The permission script waits up to 58 s for murmeli's answer and must still be running to print it.
    EXPECT_GT(
        permission.value(QStringLiteral("hooks")).toArray().at(0).toObject().value(QStringLiteral("timeout")).toInt(),
        58);
    EXPECT_FALSE(installed.value(QStringLiteral("hooks"))
                     .toObject()
                     .value(QStringLiteral("SessionEnd"))
                     .toArray()
                     .at(0)
                     .toObject()
                     .contains(QStringLiteral("matcher")));
    EXPECT_EQ(installed.value(QStringLiteral("statusLine")).toObject().value(QStringLiteral("command")).toString(),
        QStringLiteral("'%1/status-hook'").arg(hooksDir));

    // Installing again gives the same settings, also from another hooks directory's old entries.
    EXPECT_EQ(qt(::installed(withOurs)), installed);
    const JsonText moved = ::installed(withOurs, QStringLiteral("/opt/murmeli/hooks"));
    EXPECT_EQ(commandsOf(moved, QStringLiteral("Stop")).size(), 2);
}

TEST(ClaudeSettingsEditorTest, RemoveTakesOutOnlyOurs)
{
    // A group that mixes a user's hook with ours keeps the user's; an empty event and an empty group stay.
    const JsonText settings = *JsonText::parse(R"({"model": "opus", "hooks": {
        "Notification": [{"hooks": [{"command": "say hi"}, {"command": "'/x/murmeli/hooks/notify-hook'"}]}],
        "Empty": []}})");
    EXPECT_EQ(qt(removed(installed(settings))), qt(*JsonText::parse(R"({"model": "opus", "hooks": {
        "Notification": [{"hooks": [{"command": "say hi"}]}], "Empty": []}})")));

    // A status line of the user's own is neither replaced nor removed.
    const JsonText own = *JsonText::parse(R"({"statusLine": {"command": "~/bin/line"}})");
    QStringList notes;
    const JsonText withOurs = installed(own, hooksDir, &notes);
    EXPECT_EQ(qt(withOurs).value(QStringLiteral("statusLine")), qt(own).value(QStringLiteral("statusLine")));
    EXPECT_EQ(notes.size(), 1);
    EXPECT_EQ(removed(withOurs), own);
}

TEST(ClaudeSettingsEditorTest, FileEditsAreBackedUpIdempotentAndRefuseWhatTheyCannotKeep)
{
    QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/.claude");
    const QString path = folder + QStringLiteral("/settings.json");
    const InstallRecord record(home.path() + QStringLiteral("/created-paths"));
    const auto backups = [&] { return QDir(folder).entryList({ QStringLiteral("*.murmeli-backup-*") }); };
    const auto write = [&](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    QString message;

    // A missing file is created and noted with its folder; taken out again it goes, as it held nothing else.
    EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message, record), Editor::Outcome::Written);
    EXPECT_EQ(record.paths(), (QStringList { folder, path }));
    const QByteArray first = murmeli::test::readFile(path);
    EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message, record), Editor::Outcome::Unchanged);
    EXPECT_EQ(murmeli::test::readFile(path), first);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(Editor::removeFromFile(path, &message, record), Editor::Outcome::Written);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(record.paths(), QStringList { folder });

    // The user's own file comes back byte for byte however often murmeli goes in and out, with a few backups only.
    const QByteArray own = "{\"b\": 12345678901234567890, \"a\": [1.0, 1e-7, -0.50],\t\"c\": \"\\u00e9\"}";
    write(own);
    for (int round = 0; round < SettingsFileEdit::maxBackups + 2; ++round) {
        EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message, record), Editor::Outcome::Written);
        EXPECT_TRUE(
            murmeli::test::readFile(path).startsWith("{\n  \"b\": 12345678901234567890,\n  \"a\": [1.0, 1e-7, -0.50]"));
        EXPECT_EQ(Editor::removeFromFile(path, &message, record), Editor::Outcome::Written);
        EXPECT_EQ(murmeli::test::readFile(path), own);
    }
    EXPECT_EQ(backups().size(), SettingsFileEdit::maxBackups);

    // Read-only as its owner made it (also for root, who could write it), or in a read-only folder: refused, with
    // no backup left behind and the mode as it was.
    const QStringList backupsBefore = backups();
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message, record), Editor::Outcome::Refused);
    EXPECT_TRUE(message.contains(QStringLiteral("left as it is"))) << message.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
        QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message, record), Editor::Outcome::Refused);
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(backups(), backupsBefore);
    EXPECT_EQ(murmeli::test::readFile(path), own);

    for (const QByteArray& broken : { QByteArray("{\"hooks\": {"), QByteArray("[1,2]"), QByteArray("\xff\xfe"),
             QByteArray("{\"a\": 1, \"a\": 2}"), QByteArray("{\"big\": 1e400}") }) {
        write(broken);
        EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message, record), Editor::Outcome::Refused) << broken.data();
        EXPECT_TRUE(message.contains(QStringLiteral("left as it is"))) << message.toStdString();
        EXPECT_EQ(Editor::removeFromFile(path, &message, record), Editor::Outcome::Refused);
        EXPECT_EQ(murmeli::test::readFile(path), broken);
    }
    EXPECT_EQ(backups(), backupsBefore);
}

TEST(ClaudeSettingsEditorTest, CommandsQuoteTheirPath)
{
    EXPECT_EQ(Editor::commandFor(
                  QStringLiteral("/home/o'neil/murmeli/hooks"), QStringLiteral("session-hook"), QStringLiteral("Stop")),
        QStringLiteral("'/home/o'\\''neil/murmeli/hooks/session-hook' Stop"));
}
