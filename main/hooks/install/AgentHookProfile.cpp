#include "main/hooks/install/AgentHookProfile.h"

namespace murmeli::hooks::AgentHookProfiles {

namespace {

AgentHookEntry same(const char* event)
{
    return { QString::fromLatin1(event), QString::fromLatin1(event), std::nullopt, false };
}

AgentHookEntry mapped(const char* agentEvent, const char* murmeliEvent)
{
    return { QString::fromLatin1(agentEvent), QString::fromLatin1(murmeliEvent), std::nullopt, false };
}

// The agents that keep Claude Code's hook schema post the same events Claude Code's scripts do, under the same names.
std::vector<AgentHookEntry> claudeSchemaEntries()
{
    return { same("SessionStart"), same("UserPromptSubmit"), same("PostToolUse"), same("PostToolUseFailure"),
        same("Notification"),
        { QStringLiteral("PermissionRequest"), QStringLiteral("PermissionRequest"), QStringLiteral("*"), true },
        same("PreCompact"), same("PostCompact"), same("SubagentStart"), same("SubagentStop"), same("Stop"),
        same("StopFailure"), same("SessionEnd") };
}

std::vector<AgentHookProfile> build()
{
    return {
        // Codex has no Notification or failure events; its PermissionRequest takes Claude Code's reply as is.
        { QStringLiteral("codex"), QStringLiteral("/.codex/hooks.json"), QStringLiteral("codex-hook"), false,
            { same("SessionStart"), same("UserPromptSubmit"), same("PostToolUse"),
                { QStringLiteral("PermissionRequest"), QStringLiteral("PermissionRequest"), QStringLiteral("*"), true },
                same("PreCompact"), same("PostCompact"), same("SubagentStart"), same("SubagentStop"), same("Stop"),
                same("SessionEnd") } },
        // Gemini CLI never asks a hook for permission; the one place it lets a hook decide is before a tool runs, so
        // the tools that change something are held there.
        { QStringLiteral("gemini"), QStringLiteral("/.gemini/settings.json"), QStringLiteral("gemini-hook"), true,
            { same("SessionStart"), mapped("BeforeAgent", "UserPromptSubmit"),
                { QStringLiteral("BeforeTool"), QStringLiteral("PermissionRequest"),
                    QStringLiteral("run_shell_command|write_file|replace"), true },
                mapped("AfterTool", "PostToolUse"), same("Notification"), mapped("AfterAgent", "Stop"),
                same("SessionEnd") } },
        { QStringLiteral("qoder"), QStringLiteral("/.qoder/settings.json"), QStringLiteral("qoder-hook"), false,
            claudeSchemaEntries() },
        { QStringLiteral("codebuddy"), QStringLiteral("/.codebuddy/settings.json"), QStringLiteral("codebuddy-hook"),
            false, claudeSchemaEntries() },
    };
}

} // namespace

const std::vector<AgentHookProfile>& all()
{
    static const std::vector<AgentHookProfile> table = build();
    return table;
}

std::optional<AgentHookProfile> find(const QString& agent)
{
    for (const AgentHookProfile& profile : all()) {
        if (profile.agent == agent) {
            return profile;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::hooks::AgentHookProfiles
