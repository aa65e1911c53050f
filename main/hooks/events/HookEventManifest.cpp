#include "main/hooks/events/HookEventManifest.h"

namespace murmeli::hooks::HookEventManifest {

namespace {

const QString matcherTools = QStringLiteral("Bash|Edit|Write|Agent|mcp__.*");
const QString matcherAll = QStringLiteral("*");
const QString matcherSessionStart = QStringLiteral("startup|resume|clear|compact");
const QString matcherAnyReason = QStringLiteral(".*");

HookEventDescriptor row(HookEventType name, const char* script, bool passEventName, std::optional<QString> matcher,
    bool install, bool async, const char* description)
{
    return HookEventDescriptor { name, QString::fromLatin1(script), passEventName ? toString(name) : QString(),
        std::move(matcher), install, async, QString::fromUtf8(description) };
}

std::vector<HookEventDescriptor> buildTable()
{
    using T = HookEventType;
    return {
        row(T::Status, "status-hook", false, std::nullopt, false, false,
            "statusLine output forwarded by claude-status-hook to POST /hook/status. Not a real Claude Code 'event' — "
            "wired via statusLine, not the hooks block — so install-hooks.sh skips it (requiresInstallHooks=false) but "
            "the Mac App still receives it on the HookServer."),
        row(T::PostToolUse, "tool-hook", false, matcherTools, true, false,
            "Tool execution succeeded. Matcher cuts ~50-70% HTTP QPS by skipping Read/Grep/Glob noise (Commit 3 "
            "P1-B)."),
        row(T::PostToolUseFailure, "tool-hook", false, matcherTools, true, false,
            "Tool execution failed (e.g. Bash exit != 0, Edit syntax error). Distinct from StopFailure."),
        row(T::Notification, "notify-hook", false, std::nullopt, true, false,
            "FYI notification (permission_prompt / idle_prompt). Real approval responses live on PermissionRequest."),
        row(T::PermissionRequest, "permission-hook", false, matcherAll, true, true,
            "Real approval request path. HookServer suspends response until PendingRequestTable resolves (5s warn / "
            "25s fail-open). Skipping registration here = silent approval gap (v17 root cause)."),
        row(T::SessionStart, "session-hook", true, matcherSessionStart, true, false,
            "New / resumed / cleared / compacted session begins."),
        row(T::SessionEnd, "session-hook", true, std::nullopt, true, false, "Session ended."),
        row(T::Stop, "session-hook", true, std::nullopt, true, false, "Claude finished a response (idle)."),
        row(T::StopFailure, "session-hook", true, matcherAnyReason, true, false,
            "Turn ended with error (rate_limit, billing_error, auth, etc.). matcher='.*' covers all reason strings "
            "(Commit 3 P1-C)."),
        row(T::PreCompact, "session-hook", true, std::nullopt, true, false, "Context window about to compress."),
        row(T::PostCompact, "session-hook", true, std::nullopt, true, false,
            "Context compaction completed (v2.1.76+). Refresh snapshot to reflect new baseline."),
        row(T::CwdChanged, "session-hook", true, std::nullopt, true, false,
            "Claude Code working directory switch mid-session (v2.1.83+)."),
        row(T::UserPromptSubmit, "session-hook", true, std::nullopt, true, false, "User submitted a prompt."),
        row(T::SubagentStart, "session-hook", true, std::nullopt, true, false, "Sub-agent launched."),
        row(T::SubagentStop, "session-hook", true, std::nullopt, true, false, "Sub-agent completed."),
        row(T::InstructionsLoaded, "session-hook", true, std::nullopt, true, false,
            "Instruction files (CLAUDE.md, .claude/rules/*.md) loaded into the context (v2.1.69+). Payload: "
            "file_path, memory_type (User/Project/Local/Managed), load_reason. Could drive a start sound or a notch "
            "hint; observed only."),
        row(T::TaskCreated, "session-hook", true, std::nullopt, true, false,
            "The Task tool created a task (v2.1.84+, team feature); earlier than the TodoWrite path. Payload: "
            "task_id, task_subject, task_description, teammate_name, team_name. Observed only."),
        row(T::Elicitation, "session-hook", true, std::nullopt, true, false,
            "An MCP server asks the user for input (v2.1.76+). Payload: mcp_server_name, form (text, checkbox, "
            "dropdown fields). Observed only."),
        row(T::ElicitationResult, "session-hook", true, std::nullopt, true, false,
            "The user's answer to an elicitation is complete (v2.1.76+); pairs with Elicitation. Observed only."),
    };
}

} // namespace

const std::vector<HookEventDescriptor>& all()
{
    static const std::vector<HookEventDescriptor> table = buildTable();
    return table;
}

std::optional<HookEventDescriptor> descriptor(HookEventType type)
{
    for (const HookEventDescriptor& d : all()) {
        if (d.name == type) {
            return d;
        }
    }
    return std::nullopt;
}

bool isAsync(HookEventType type)
{
    const auto d = descriptor(type);
    return d && d->requiresAsyncResponse;
}

QStringList requiredHookNames()
{
    QStringList names;
    for (const HookEventDescriptor& d : all()) {
        if (d.requiresInstallHooks) {
            names << toString(d.name);
        }
    }
    return names;
}

} // namespace murmeli::hooks::HookEventManifest
