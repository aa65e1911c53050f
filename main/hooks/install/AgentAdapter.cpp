#include "main/hooks/install/AgentAdapter.h"

#include <algorithm>

#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/events/HookEventType.h"

namespace murmeli::hooks {

namespace {

using ID = AgentAdapter::ID;
using Detection = AgentAdapter::Detection;

AgentHookEntry same(const char* event)
{
    return { QString::fromLatin1(event), QString::fromLatin1(event), std::nullopt, false, std::nullopt };
}

// Codex runs the hooks of its end and of an interrupt for at most 3 s, and says so at every start when given longer.
AgentHookEntry brief(const char* event)
{
    return { QString::fromLatin1(event), QString::fromLatin1(event), std::nullopt, false, 3 };
}

AgentHookEntry mapped(const char* agentEvent, const char* murmeliEvent)
{
    return { QString::fromLatin1(agentEvent), QString::fromLatin1(murmeliEvent), std::nullopt, false, std::nullopt };
}

AgentHookEntry held(const char* agentEvent, const char* matcher)
{
    return { QString::fromLatin1(agentEvent), QStringLiteral("PermissionRequest"), QString::fromLatin1(matcher), true,
        std::nullopt };
}

// The agents that keep Claude Code's hook schema post the same events Claude Code's scripts do, under the same names.
std::vector<AgentHookEntry> claudeSchemaEntries()
{
    return { same("SessionStart"), same("UserPromptSubmit"), same("PostToolUse"), same("PostToolUseFailure"),
        same("Notification"), held("PermissionRequest", "*"), same("PreCompact"), same("PostCompact"),
        same("SubagentStart"), same("SubagentStop"), same("Stop"), same("StopFailure"), same("SessionEnd") };
}

// A file the installer takes from ${variable:-$HOME<belowHome>}.
AgentPath file(const char* variable, const char* belowHome)
{
    return { QString::fromLatin1(variable), QString::fromLatin1(belowHome), {} };
}

// A file below a folder the installer takes from ${variable:-$HOME<belowHome>}.
AgentPath inFolder(const char* variable, const char* belowHome, const char* below)
{
    return { QString::fromLatin1(variable), QString::fromLatin1(belowHome), QString::fromLatin1(below) };
}

// Each path is spelt as the row's installer spells it; a change to one is a change to the other.
std::vector<AgentAdapter> build()
{
    std::vector<AgentAdapter> rows;
    {
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::ClaudeCode;
        r.processNames = QStringList { QStringLiteral("claude") };
        r.key = QStringLiteral("claudeCode");
        r.agent = QStringLiteral("claude");
        r.displayName = QStringLiteral("Claude Code");
        r.installScriptName = QStringLiteral("install-hooks.sh");
        r.shortDescription = QStringLiteral("Anthropic's official CLI agent.");
        r.activeText = QStringLiteral("14 event types + Bearer auth. Restart Claude Code after reinstall.");
        r.installableText = QStringLiteral("Patches ~/.claude/settings.json with 4 hook scripts + Bearer secret.");
        r.detection = Detection::SecretAndHooks;
        r.settings = file("CLAUDE_SETTINGS", "/.claude/settings.json");
    }
    {
        // Codex has no Notification or failure events. Its PermissionRequest takes Claude Code's allow and deny, but
        // turns any permission update down and then asks in its own terminal; nothing in its reply keeps an allow.
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::Codex;
        r.processNames = QStringList { QStringLiteral("codex") };
        r.key = QStringLiteral("codex");
        r.agent = QStringLiteral("codex");
        r.displayName = QStringLiteral("Codex CLI (Beta)");
        r.installScriptName = QStringLiteral("install-codex-hook");
        r.shortDescription = QStringLiteral("OpenAI Codex agent integration.");
        r.activeText = QStringLiteral("Codex CLI hooks active. Restart Codex CLI to apply changes.");
        r.installableText = QStringLiteral("Routes Codex CLI events to murmeli via ~/.codex/hooks.json.");
        r.detection = Detection::JsonWithMarker;
        r.settings = inFolder("CODEX_HOME", "/.codex", "/hooks.json");
        // Its Esc cancels a permission request without ending the hook that waits on it; only Interrupt says so.
        r.entries = { same("SessionStart"), same("UserPromptSubmit"), same("PostToolUse"),
            held("PermissionRequest", "*"), same("PreCompact"), same("PostCompact"), same("SubagentStart"),
            same("SubagentStop"), same("Stop"), brief(hooks::interruptEventName), brief("SessionEnd") };
        r.takesPermissionUpdates = false;
    }
    {
        // OpenClaw's configuration only names our hook pack; the pack itself is the install.
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::OpenClaw;
        r.processNames = QStringList { QStringLiteral("openclaw") };
        r.key = QStringLiteral("openClaw");
        r.agent = QStringLiteral("openclaw");
        r.displayName = QStringLiteral("OpenClaw (Beta)");
        r.installScriptName = QStringLiteral("install-openclaw-hook");
        r.shortDescription = QStringLiteral("Multi-agent orchestrator hook pack.");
        r.activeText = QStringLiteral("OpenClaw hook pack symlinked. Active.");
        r.installableText = QStringLiteral("Registers murmeli hook pack with OpenClaw via ~/.openclaw/hooks/.");
        r.detection = Detection::PackExists;
        r.settings = inFolder("OPENCLAW_STATE_DIR", "/.openclaw", "/openclaw.json");
        r.pack = inFolder("OPENCLAW_STATE_DIR", "/.openclaw", "/hooks/murmeli");
    }
    {
        // OpenCode's configuration is not touched: the plugin is the install, and it holds the tools itself.
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::OpenCode;
        r.processNames = QStringList { QStringLiteral("opencode"), QStringLiteral("opencode-ai") };
        r.key = QStringLiteral("openCode");
        r.agent = QStringLiteral("opencode");
        r.displayName = QStringLiteral("OpenCode (Beta)");
        r.installScriptName = QStringLiteral("install-opencode-hook");
        r.shortDescription = QStringLiteral("OpenCode plugin adapter (I-703 + I-919 v4).");
        r.detection = Detection::PackExists;
        r.pack = inFolder("XDG_CONFIG_HOME", "/.config", "/opencode/plugins/murmeli.js");
    }
    {
        // Gemini CLI never asks a hook for permission; the one place it lets a hook decide is before a tool runs, so
        // the tools that change something are held there.
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::Gemini;
        r.processNames = QStringList { QStringLiteral("gemini") };
        r.key = QStringLiteral("gemini");
        r.agent = QStringLiteral("gemini");
        r.displayName = QStringLiteral("Gemini CLI (Beta)");
        r.installScriptName = QStringLiteral("install-gemini-hook");
        r.shortDescription = QStringLiteral("Google Gemini CLI adapter (I-704).");
        r.activeText = QStringLiteral("Gemini CLI hooks active (7 events). Restart Gemini CLI to apply.");
        r.installableText = QStringLiteral("Routes Gemini CLI events to murmeli via ~/.gemini/settings.json.");
        r.detection = Detection::TextWithMarker;
        r.settings = file("GEMINI_SETTINGS", "/.gemini/settings.json");
        r.entries = { same("SessionStart"), mapped("BeforeAgent", "UserPromptSubmit"),
            held("BeforeTool", "run_shell_command|write_file|replace"), mapped("AfterTool", "PostToolUse"),
            same("Notification"), mapped("AfterAgent", "Stop"), same("SessionEnd") };
        r.timeoutInMilliseconds = true;
    }
    {
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::Qoder;
        r.processNames = QStringList { QStringLiteral("qodercli") };
        r.key = QStringLiteral("qoder");
        r.agent = QStringLiteral("qoder");
        r.displayName = QStringLiteral("Qoder (Beta)");
        r.installScriptName = QStringLiteral("install-qoder-hook");
        r.shortDescription = QStringLiteral("Qoder agent adapter (I-705).");
        r.activeText = QStringLiteral("Qoder hooks active. Restart Qoder to apply.");
        r.installableText = QStringLiteral("Registers murmeli hooks via ~/.qoder/settings.json (Claude Code schema).");
        r.detection = Detection::TextWithMarker;
        r.settings = file("QODER_SETTINGS", "/.qoder/settings.json");
        r.entries = claudeSchemaEntries();
    }
    {
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::CodeBuddy;
        r.processNames = QStringList { QStringLiteral("codebuddy") };
        r.key = QStringLiteral("codeBuddy");
        r.agent = QStringLiteral("codebuddy");
        r.displayName = QStringLiteral("CodeBuddy (Beta)");
        r.installScriptName = QStringLiteral("install-codebuddy-hook");
        r.shortDescription = QStringLiteral("Tencent CodeBuddy adapter (I-706).");
        r.activeText = QStringLiteral("CodeBuddy hooks active. Restart CodeBuddy to apply.");
        r.installableText
            = QStringLiteral("Registers murmeli hooks via ~/.codebuddy/settings.json (Claude Code schema).");
        r.detection = Detection::TextWithMarker;
        r.settings = file("CODEBUDDY_SETTINGS", "/.codebuddy/settings.json");
        r.entries = claudeSchemaEntries();
    }
    {
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::Kimi;
        r.processNames = QStringList { QStringLiteral("kimi") };
        r.key = QStringLiteral("kimi");
        r.displayName = QStringLiteral("Kimi CLI");
        r.comingSoonNote = QStringLiteral("Moonshot Kimi CLI adapter \u2014 coming later.");
    }
    {
        // Qwen Code reads Claude Code's hook layout, timeouts in seconds included, and Gemini CLI's tool names.
        AgentAdapter& r = rows.emplace_back();
        r.id = ID::QwenCode;
        r.processNames = QStringList { QStringLiteral("qwen") };
        r.key = QStringLiteral("qwenCode");
        r.agent = QStringLiteral("qwen");
        r.displayName = QStringLiteral("Qwen Code (Beta)");
        r.installScriptName = QStringLiteral("install-qwen-hook");
        r.shortDescription = QStringLiteral("Alibaba Qwen Code CLI adapter.");
        r.activeText = QStringLiteral("Qwen Code hooks active. Restart Qwen Code to apply.");
        r.installableText = QStringLiteral("Registers murmeli hooks via ~/.qwen/settings.json (Claude Code schema).");
        r.detection = Detection::TextWithMarker;
        r.settings = file("QWEN_SETTINGS", "/.qwen/settings.json");
        r.entries = claudeSchemaEntries();
    }
    return rows;
}

} // namespace

QString AgentPath::resolve(const QString& home, const QProcessEnvironment& environment) const
{
    const QString named = variable.isEmpty() ? QString() : environment.value(variable);
    return (named.isEmpty() ? home + belowHome : named) + below;
}

QString AgentPath::underTilde() const
{
    return QLatin1Char('~') + belowHome + below;
}

QString AgentAdapter::hookScript() const
{
    return agent.isEmpty() ? QString() : agent + QStringLiteral("-hook");
}

QStringList AgentAdapter::requiredEvents() const
{
    if (detection == Detection::SecretAndHooks) {
        return HookEventManifest::requiredHookNames();
    }
    QStringList events;
    for (const AgentHookEntry& entry : entries) {
        events << entry.agentEvent;
    }
    return events;
}

QString AgentAdapter::settingsPath(const QString& home, const QProcessEnvironment& environment) const
{
    return settings ? settings->resolve(home, environment) : QString();
}

namespace AgentAdapters {

const std::vector<AgentAdapter>& all()
{
    static const std::vector<AgentAdapter> table = build();
    return table;
}

const AgentAdapter& get(AgentAdapter::ID id)
{
    const auto& rows = all();
    return *std::find_if(rows.cbegin(), rows.cend(), [id](const AgentAdapter& row) { return row.id == id; });
}

const AgentAdapter* withAgent(const QString& agent)
{
    if (agent.isEmpty()) {
        return nullptr;
    }
    const auto& rows = all();
    const auto found
        = std::find_if(rows.cbegin(), rows.cend(), [&agent](const AgentAdapter& row) { return row.agent == agent; });
    return found == rows.cend() ? nullptr : &*found;
}

const AgentAdapter* runningAs(const QString& processName)
{
    if (processName.isEmpty()) {
        return nullptr;
    }
    const auto& rows = all();
    const auto found = std::find_if(rows.cbegin(), rows.cend(),
        [&processName](const AgentAdapter& row) { return row.processNames.contains(processName); });
    return found == rows.cend() ? nullptr : &*found;
}

const AgentAdapter& claudeCode()
{
    return get(AgentAdapter::ID::ClaudeCode);
}

} // namespace AgentAdapters

} // namespace murmeli::hooks
