#pragma once

#include <optional>
#include <vector>

#include <QString>

namespace murmeli::hooks {

/// One hook the installer registers for an agent: the agent's own event, the murmeli event our script posts it as,
/// and how the agent runs it.
struct AgentHookEntry {
    QString agentEvent;
    QString murmeliEvent;
    std::optional<QString> matcher;
    /// The script waits for murmeli's decision and hands it to the agent, so the agent must wait long enough.
    bool held = false;
    /// The longest time limit the agent takes for this event; a longer one it cuts down with a warning at every start.
    std::optional<int> longestTimeoutSeconds;

    bool operator==(const AgentHookEntry&) const = default;
};

/// How murmeli hooks into one agent whose hooks are a JSON "hooks" block in the Claude Code layout
/// ({"hooks": {"Event": [{"matcher": .., "hooks": [{"type": "command", "command": .., "timeout": ..}]}]}}): what the
/// settings editor needs of the agent's row of AgentAdapters.
struct AgentHookProfile {
    /// The name the scripts send in x-murmeli-adapter, and the folder of its scripts below murmeli's hooks folder.
    QString agent;
    /// The hook command's script, installed as "<agent>-hook"; its name is also the marker the page detects.
    QString script;
    /// The agent reads "timeout" in milliseconds rather than seconds.
    bool timeoutInMilliseconds = false;
    std::vector<AgentHookEntry> entries;

    bool operator==(const AgentHookProfile&) const = default;
};

namespace AgentHookProfiles {

/// The agents whose rows of AgentAdapters register hooks of their own (Codex CLI, Gemini CLI, Qoder, CodeBuddy).
const std::vector<AgentHookProfile>& all();

/// The profile of the named agent; nullopt for any other name.
std::optional<AgentHookProfile> find(const QString& agent);

} // namespace AgentHookProfiles

} // namespace murmeli::hooks
