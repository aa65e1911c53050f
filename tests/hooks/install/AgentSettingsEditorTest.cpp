#include <gtest/gtest.h>

#include <functional>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "main/hooks/install/AgentSettingsEditor.h"
#include "main/hooks/install/ClaudeSettingsEditor.h"

using namespace murmeli::hooks;
namespace Editor = murmeli::hooks::AgentSettingsEditor;

namespace {

JsonText json(const char* text)
{
    return *JsonText::parse(text);
}

QJsonObject qt(const JsonText& settings)
{
    return QJsonDocument::fromJson(settings.toText()).object();
}

JsonText installed(JsonText settings, const AgentHookProfile& profile, const QString& directory)
{
    QString problem;
    EXPECT_TRUE(Editor::installHooks(settings, profile, directory, &problem)) << problem.toStdString();
    return settings;
}

JsonText removed(JsonText settings)
{
    Editor::removeHooks(settings);
    return settings;
}

// Every (event, command, timeout, matcher) of the hooks block, flattened.
QStringList entriesOf(const JsonText& text)
{
    QStringList entries;
    const QJsonObject hooks = qt(text).value(QStringLiteral("hooks")).toObject();
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
    const JsonText own = json(R"({
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
        const JsonText withOurs = installed(own, *profile, directory);
        const QStringList entries = entriesOf(withOurs);
        EXPECT_EQ(qt(withOurs).value(QStringLiteral("model")), qt(own).value(QStringLiteral("model"))) << c.agent;
        EXPECT_TRUE(entries.contains(QStringLiteral("Stop notify-send done 0 "))) << c.agent;
        EXPECT_TRUE(entries.contains(QStringLiteral("AfterTool /bin/audit 0 write_file"))) << c.agent;
        EXPECT_TRUE(entries.contains(c.heldEntry)) << c.agent;
        EXPECT_EQ(entries.filter(QStringLiteral("-hook' PostToolUse ")).size(), 1) << c.agent;
        EXPECT_TRUE(
            entries.filter(QStringLiteral("-hook' PostToolUse ")).front().startsWith(QLatin1String(c.shellEvent)))
            << c.agent;
        EXPECT_EQ(entries.size(), int(profile->entries.size()) + 2) << c.agent;
        // Again: nothing changes; out: the user's file as it was.
        EXPECT_EQ(installed(withOurs, *profile, directory), withOurs) << c.agent;
        EXPECT_EQ(removed(withOurs), own) << c.agent;
    }
    EXPECT_EQ(AgentHookProfiles::find(QStringLiteral("kimi")), std::nullopt);
}

// A value of a shape murmeli does not know is never dropped: where murmeli would have to add to it the install
// refuses the file, leaving it as it was; elsewhere it stays as it is through install and uninstall.
TEST(AgentSettingsEditorTest, ShapesMurmeliDoesNotKnowAreKeptOrRefusedNeverDropped)
{
    const auto gemini = *AgentHookProfiles::find(QStringLiteral("gemini"));
    const auto agent = [&](JsonText& s, QString* problem) {
        return Editor::installHooks(s, gemini, QStringLiteral("/h/murmeli/hooks/gemini"), problem);
    };
    const auto claude = [](JsonText& s, QString* problem) {
        return ClaudeSettingsEditor::installHooks(s, QStringLiteral("/h/murmeli/hooks"), nullptr, problem);
    };
    const auto openClaw = [](JsonText& s, QString* problem) {
        return Editor::enableOpenClawPack(s, QStringLiteral("murmeli"), problem);
    };
    struct Case {
        const char* settings;
        std::function<bool(JsonText&, QString*)> install;
        void (*remove)(JsonText&);
        bool refused;
    };
    const auto removeOpenClaw = [](JsonText& s) { Editor::removeOpenClawPack(s, QStringLiteral("murmeli")); };
    const std::vector<Case> cases {
        { R"({"hooks": "off"})", agent, &Editor::removeHooks, true },
        { R"({"hooks": [{"command": "mine"}]})", agent, &Editor::removeHooks, true },
        { R"({"hooks": null})", agent, &Editor::removeHooks, true },
        { R"({"hooks": {"SessionStart": {"command": "my-start"}}})", agent, &Editor::removeHooks, true },
        { R"({"hooks": {"Stop": {"command": "my-stop-sound"}}})", claude, &ClaudeSettingsEditor::removeHooks, true },
        { R"({"hooks": {"Stop": "my-stop-sound"}})", claude, &ClaudeSettingsEditor::removeHooks, true },
        { R"({"hooks": {"internal": []}})", openClaw, removeOpenClaw, true },
        { R"({"hooks": {"internal": {"entries": {"murmeli": true}}}})", openClaw, removeOpenClaw, true },
        // Kept: an event murmeli does not add to, items of a list that are not groups, a list of hooks that is not
        // one, a status line that is not an object.
        { R"({"hooks": {"Mine": {"command": "x"}, "AfterAgent": [7, "x", {"hooks": {"command": "y"}}]}})", agent,
            &Editor::removeHooks, false },
        { R"({"statusLine": "mine", "hooks": {"Stop": [null, {"hooks": 3}]}})", claude,
            &ClaudeSettingsEditor::removeHooks, false },
        { R"({"hooks": {"internal": {"entries": {"x": 1}}}})", openClaw, removeOpenClaw, false },
    };
    for (const Case& c : cases) {
        const JsonText original = json(c.settings);
        JsonText settings = original;
        QString problem;
        EXPECT_EQ(c.install(settings, &problem), !c.refused) << c.settings;
        EXPECT_EQ(problem.isEmpty(), !c.refused) << c.settings << ": " << problem.toStdString();
        if (c.refused) {
            EXPECT_EQ(settings.toText(), original.toText()) << c.settings;
            continue;
        }
        c.remove(settings);
        EXPECT_EQ(settings, original) << c.settings << " came back as " << settings.toText().data();
    }
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
        const JsonText config = json(c.config);
        JsonText enabled = config;
        QString problem;
        EXPECT_TRUE(Editor::enableOpenClawPack(enabled, pack, &problem)) << c.name;
        EXPECT_EQ(enabled, json(c.expected)) << c.name;
        JsonText again = enabled;
        EXPECT_TRUE(Editor::enableOpenClawPack(again, pack, &problem)) << c.name;
        EXPECT_EQ(again, enabled) << c.name;
        Editor::removeOpenClawPack(enabled, pack);
        EXPECT_EQ(enabled, config) << c.name;
    }
}
