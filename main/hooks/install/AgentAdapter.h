#pragma once

#include <optional>
#include <vector>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "main/hooks/install/AgentHookProfile.h"

namespace murmeli::hooks {

/// A file or folder of an agent, found the way its installer finds it: `${variable:-$HOME<belowHome>}<below>`. A
/// variable that is set but empty counts as unset, as in the shell.
struct AgentPath {
    /// Names the file itself (below empty) or a folder that `below` is appended to.
    QString variable;
    QString belowHome;
    QString below;

    QString resolve(const QString& home, const QProcessEnvironment& environment) const;
    /// The default place as the user writes it: "~/.codex/hooks.json".
    QString underTilde() const;

    bool operator==(const AgentPath&) const = default;
};

/// One agent murmeli can hook into, with everything its installer script, the settings editors, the start-up
/// self-check and the Integrations page have to agree on. A new agent is one row of AgentAdapters::all() and its
/// installer in the scripts folder.
struct AgentAdapter {
    /// The numbering stays as stored; the table's order is the display order.
    enum class ID { ClaudeCode, Codex, OpenClaw, OpenCode, Gemini, Kimi, Qoder, QwenCode, CodeBuddy };

    /// How the page tells that the agent's installer has run.
    enum class Detection {
        /// The hook secret is stored and the settings register every required event (a stale script still counts).
        SecretAndHooks,
        /// The settings file is JSON (an object or an array) and holds the hook command's name.
        JsonWithMarker,
        /// The settings file holds the hook command's name anywhere; it is not parsed.
        TextWithMarker,
        /// The pack exists.
        PackExists,
        /// No installer yet: always coming soon.
        ComingLater,
    };

    ID id = ID::ClaudeCode;
    /// The raw value: in object names and wherever an adapter is stored ("claudeCode").
    QString key;
    /// The name the installers give the agent (--agent, its folder below murmeli's hooks folder, the hook command
    /// "<agent>-hook", the x-murmeli-adapter header); empty without an installer.
    QString agent;
    QString displayName;
    /// The installer in the scripts folder; empty while there is none.
    QString installScriptName;
    QString comingSoonNote;
    QString shortDescription;
    /// What the page's row says while installed and while installable; empty for the short description.
    QString activeText;
    QString installableText;
    Detection detection = Detection::ComingLater;
    /// The agent's file the installer edits; nullopt when it edits none.
    std::optional<AgentPath> settings;
    /// What the installer puts in place of a settings entry (a plugin, a hook pack); nullopt when nothing.
    std::optional<AgentPath> pack;
    /// The hooks the installer registers in the settings' "hooks" block in Claude Code's layout through
    /// `murmeli hooks install --agent`; empty for Claude Code (its hooks follow the event manifest) and the agents
    /// without such a block. A held entry waits for murmeli's decision: what the agent lets murmeli approve.
    std::vector<AgentHookEntry> entries;
    /// The names the agent's command-line tool runs as: its executable, or the script a runtime such as node runs.
    /// Process discovery and the start-up cleanup know agents by them.
    QStringList processNames;
    /// The agent reads a hook's "timeout" in milliseconds rather than seconds.
    bool timeoutInMilliseconds = false;
    /// The agent's permission hook takes the permission update of a remembered allow (Claude Code's
    /// "updatedPermissions") and keeps the allow itself. One that refuses the update is sent a bare allow, and murmeli
    /// keeps the allow for the session in its place.
    bool takesPermissionUpdates = true;

    /// The hook command, "<agent>-hook": its name in the settings is the marker the detection looks for.
    QString hookScript() const;
    /// The events the self-check expects in the settings' hooks block: the agent's own names of its entries, or for
    /// Claude Code the manifest's required hooks; none for an agent without a hooks block.
    QStringList requiredEvents() const;
    /// The settings file for a home and an environment; empty when the installer edits none.
    QString settingsPath(const QString& home, const QProcessEnvironment& environment) const;

    bool operator==(const AgentAdapter&) const = default;
};

namespace AgentAdapters {

/// Every adapter, in display order.
const std::vector<AgentAdapter>& all();

/// The row of an identifier; every identifier has one.
const AgentAdapter& get(AgentAdapter::ID id);

/// The row whose installer names the agent so; nullptr for any other name.
const AgentAdapter* withAgent(const QString& agent);

/// The row of the agent whose command-line tool runs under that name (no folder); nullptr for any other name.
const AgentAdapter* runningAs(const QString& processName);

/// Claude Code's row: the agent whose settings the start-up self-check and the hooks doctor check.
const AgentAdapter& claudeCode();

} // namespace AgentAdapters

} // namespace murmeli::hooks
