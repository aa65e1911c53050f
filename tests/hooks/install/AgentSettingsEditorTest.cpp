#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "main/hooks/install/AgentSettingsEditor.h"

using namespace murmeli::hooks;
namespace Editor = murmeli::hooks::AgentSettingsEditor;

namespace {

QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(text).object();
}

// Every (event, command, timeout, matcher) of the hooks block, flattened.
QStringList entriesOf(const QJsonObject& settings)
{
    QStringList entries;
    const QJsonObject hooks = settings.value(QStringLiteral("hooks")).toObject();
    for (const QString& event : hooks.keys()) {
        for (const QJsonValue& group : hooks.value(event).toArray()) {
            for (const QJsonValue& hook : group.toObject().value(QStringLiteral("hooks")).toArray()) {
                entries << QStringLiteral("%1 %2 %3 %4")
                               .arg(event, hook.toObject().value(QStringLiteral("command")).toString())
                               .arg(hook.toObject().value(QStringLiteral("timeout")).toInt())
                               .arg(group.toObject().value(QStringLiteral("matcher")).toString());
            }
        }
    }
    return entries;
}

} // namespace

TEST(AgentSettingsEditorTest, EveryAgentsHooksGoInBesideTheUsersAndComeOutAgain)
{
    const QJsonObject own = json(R"({
        "model": {"name": "m"},
        "hooks": {"Stop": [{"hooks": [{"type": "command", "command": "notify-send done"}]}],
                  "AfterTool": [{"matcher": "write_file", "hooks": [{"type": "command", "command": "/bin/audit"}]}]}
    })");
    struct Case {
        const char* agent;
        const char* shellEvent; // the event our script turns into PostToolUse
        QString heldEntry; // the entry that waits for murmeli's decision
    };
    const std::vector<Case> cases {
        { "codex", "PostToolUse",
            QStringLiteral("PermissionRequest '/h/murmeli/hooks/codex/codex-hook' PermissionRequest 60 *") },
        { "gemini", "AfterTool",
            QStringLiteral("BeforeTool '/h/murmeli/hooks/gemini/gemini-hook' PermissionRequest 60000 "
                           "run_shell_command|write_file|replace") },
        { "qoder", "PostToolUse",
            QStringLiteral("PermissionRequest '/h/murmeli/hooks/qoder/qoder-hook' PermissionRequest 60 *") },
        { "codebuddy", "PostToolUse",
            QStringLiteral("PermissionRequest '/h/murmeli/hooks/codebuddy/codebuddy-hook' PermissionRequest 60 *") },
    };
    for (const Case& c : cases) {
        const auto profile = AgentHookProfiles::find(QString::fromLatin1(c.agent));
        ASSERT_TRUE(profile) << c.agent;
        const QString directory = QStringLiteral("/h/murmeli/hooks/") + profile->agent;
        const QJsonObject installed = Editor::withHooksInstalled(own, *profile, directory);
        const QStringList entries = entriesOf(installed);
        EXPECT_EQ(installed.value(QStringLiteral("model")), own.value(QStringLiteral("model"))) << c.agent;
        EXPECT_TRUE(entries.contains(QStringLiteral("Stop notify-send done 0 "))) << c.agent;
        EXPECT_TRUE(entries.contains(QStringLiteral("AfterTool /bin/audit 0 write_file"))) << c.agent;
        EXPECT_TRUE(entries.contains(c.heldEntry)) << c.agent;
        EXPECT_EQ(entries.filter(QStringLiteral("-hook' PostToolUse ")).size(), 1) << c.agent;
        EXPECT_TRUE(
            entries.filter(QStringLiteral("-hook' PostToolUse ")).front().startsWith(QLatin1String(c.shellEvent)))
            << c.agent;
        EXPECT_EQ(entries.size(), int(profile->entries.size()) + 2) << c.agent;
        // Again: nothing changes; out: the user's file as it was.
        EXPECT_EQ(Editor::withHooksInstalled(installed, *profile, directory), installed) << c.agent;
        EXPECT_EQ(Editor::withHooksRemoved(installed), own) << c.agent;
    }
    EXPECT_EQ(AgentHookProfiles::find(QStringLiteral("kimi")), std::nullopt);
}

TEST(AgentSettingsEditorTest, OpenClawNamesOurHookOnlyWhereNamesAreSelected)
{
    const QString pack = QStringLiteral("murmeli");
    struct Case {
        const char* name;
        const char* config;
        const char* expected; // after enabling; removing then gives back the config
    };
    const std::vector<Case> cases {
        { "no configuration", "{}", R"({"hooks": {"internal": {"entries": {"murmeli": {"enabled": true}}}}})" },
        { "named hooks", R"({"gateway": {"port": 1}, "hooks": {"internal": {"entries": {"x": {"enabled": true}}}}})",
            R"({"gateway": {"port": 1},
                "hooks": {"internal": {"entries": {"x": {"enabled": true}, "murmeli": {"enabled": true}}}}})" },
        { "every hook discovered", R"({"hooks": {"internal": {"enabled": true}}})",
            R"({"hooks": {"internal": {"enabled": true}}})" },
        { "discovery with only switched-off names",
            R"({"hooks": {"internal": {"enabled": true, "entries": {"x": {"enabled": false}}}}})",
            R"({"hooks": {"internal": {"enabled": true, "entries": {"x": {"enabled": false}}}}})" },
        { "hooks switched off", R"({"hooks": {"internal": {"enabled": false}}})",
            R"({"hooks": {"internal": {"enabled": false, "entries": {"murmeli": {"enabled": true}}}}})" },
    };
    for (const Case& c : cases) {
        const QJsonObject config = json(c.config);
        const QJsonObject enabled = Editor::withOpenClawPackEnabled(config, pack);
        EXPECT_EQ(enabled, json(c.expected)) << c.name;
        EXPECT_EQ(Editor::withOpenClawPackEnabled(enabled, pack), enabled) << c.name;
        EXPECT_EQ(Editor::withOpenClawPackRemoved(enabled, pack), config) << c.name;
    }
}
