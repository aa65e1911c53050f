#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/install/ClaudeSettingsEditor.h"
#include "tests/support/Files.h"

using namespace murmeli::hooks;
namespace Editor = murmeli::hooks::ClaudeSettingsEditor;

namespace {

const QString hooksDir = QStringLiteral("/home/u/.local/share/murmeli/hooks");

QJsonObject userSettings()
{
    return QJsonDocument::fromJson(R"json({
        "model": "opus",
        "permissions": {"allow": ["Bash(ls:*)"]},
        "hooks": {
            "Stop": [{"hooks": [{"type": "command", "command": "notify-send done"}]}],
            "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "/usr/local/bin/audit"}]}]
        }
    })json")
        .object();
}

QStringList commandsOf(const QJsonObject& settings, const QString& event)
{
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
    const QJsonObject installed = Editor::withHooksInstalled(userSettings(), hooksDir);
    EXPECT_EQ(installed.value(QStringLiteral("model")).toString(), QStringLiteral("opus"));
    EXPECT_EQ(installed.value(QStringLiteral("permissions")), userSettings().value(QStringLiteral("permissions")));
    EXPECT_EQ(
        commandsOf(installed, QStringLiteral("PreToolUse")), QStringList { QStringLiteral("/usr/local/bin/audit") });
    EXPECT_EQ(commandsOf(installed, QStringLiteral("Stop")),
        (QStringList { QStringLiteral("notify-send done"), QStringLiteral("'%1/session-hook' Stop").arg(hooksDir) }));
    for (const QString& event : HookEventManifest::requiredHookNames()) {
        const QStringList commands = commandsOf(installed, event);
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
    EXPECT_EQ(Editor::withHooksInstalled(installed, hooksDir), installed);
    const QJsonObject moved = Editor::withHooksInstalled(installed, QStringLiteral("/opt/murmeli/hooks"));
    EXPECT_EQ(commandsOf(moved, QStringLiteral("Stop")).size(), 2);
}

TEST(ClaudeSettingsEditorTest, RemoveTakesOutOnlyOurs)
{
    QJsonObject settings = userSettings();
    // A group that mixes a user's hook with ours keeps the user's.
    QJsonObject hooks = settings.value(QStringLiteral("hooks")).toObject();
    hooks.insert(QStringLiteral("Notification"),
        QJsonArray { QJsonObject { { QStringLiteral("hooks"),
            QJsonArray { QJsonObject { { QStringLiteral("command"), QStringLiteral("say hi") } },
                QJsonObject {
                    { QStringLiteral("command"), QStringLiteral("'/x/murmeli/hooks/notify-hook'") } } } } } });
    hooks.insert(QStringLiteral("Empty"), QJsonArray());
    settings.insert(QStringLiteral("hooks"), hooks);

    const QJsonObject removed = Editor::withHooksRemoved(Editor::withHooksInstalled(settings, hooksDir));
    QJsonObject expected = settings;
    QJsonObject expectedHooks = hooks;
    expectedHooks.insert(QStringLiteral("Notification"),
        QJsonArray { QJsonObject { { QStringLiteral("hooks"),
            QJsonArray { QJsonObject { { QStringLiteral("command"), QStringLiteral("say hi") } } } } } });
    expected.insert(QStringLiteral("hooks"), expectedHooks);
    EXPECT_EQ(removed, expected);

    // A status line of the user's own is neither replaced nor removed.
    QJsonObject own = userSettings();
    own.insert(
        QStringLiteral("statusLine"), QJsonObject { { QStringLiteral("command"), QStringLiteral("~/bin/line") } });
    QStringList notes;
    const QJsonObject installed = Editor::withHooksInstalled(own, hooksDir, &notes);
    EXPECT_EQ(installed.value(QStringLiteral("statusLine")), own.value(QStringLiteral("statusLine")));
    EXPECT_EQ(notes.size(), 1);
    EXPECT_EQ(Editor::withHooksRemoved(installed), own);
}

TEST(ClaudeSettingsEditorTest, FileEditsAreBackedUpIdempotentAndRefuseBrokenFiles)
{
    QTemporaryDir home;
    const QString path = home.path() + QStringLiteral("/.claude/settings.json");
    const auto backups = [&] {
        return QDir(home.path() + QStringLiteral("/.claude")).entryList({ QStringLiteral("*.murmeli-backup-*") });
    };
    QString message;

    // A missing file is created; there is nothing to back up.
    EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message), Editor::Outcome::Written);
    EXPECT_TRUE(backups().isEmpty());
    const QByteArray first = murmeli::test::readFile(path);
    EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message), Editor::Outcome::Unchanged);
    EXPECT_EQ(murmeli::test::readFile(path), first);

    EXPECT_EQ(Editor::removeFromFile(path, &message), Editor::Outcome::Written);
    EXPECT_EQ(backups().size(), 1);
    EXPECT_EQ(murmeli::test::readFile(home.path() + QStringLiteral("/.claude/") + backups().first()), first);
    EXPECT_EQ(QJsonDocument::fromJson(murmeli::test::readFile(path)).object(), QJsonObject());

    for (const QByteArray broken : { QByteArray("{\"hooks\": {"), QByteArray("[1,2]"), QByteArray("\xff\xfe") }) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(broken);
        file.close();
        EXPECT_EQ(Editor::installIntoFile(path, hooksDir, &message), Editor::Outcome::Refused);
        EXPECT_TRUE(message.contains(QStringLiteral("not valid JSON"))) << message.toStdString();
        EXPECT_EQ(Editor::removeFromFile(path, &message), Editor::Outcome::Refused);
        EXPECT_EQ(murmeli::test::readFile(path), broken);
    }
    EXPECT_EQ(backups().size(), 1);
}

TEST(ClaudeSettingsEditorTest, CommandsQuoteTheirPath)
{
    EXPECT_EQ(Editor::commandFor(
                  QStringLiteral("/home/o'neil/murmeli/hooks"), QStringLiteral("session-hook"), QStringLiteral("Stop")),
        QStringLiteral("'/home/o'\\''neil/murmeli/hooks/session-hook' Stop"));
}
