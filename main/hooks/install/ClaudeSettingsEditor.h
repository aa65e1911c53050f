#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "main/hooks/install/InstallRecord.h"
#include "main/hooks/install/JsonText.h"
#include "main/hooks/install/SettingsFileEdit.h"

namespace murmeli::hooks {

/// Adds murmeli's hook entries and status line to the agent's settings, or takes them out again, leaving every
/// other key and hook of the user's file as it was. Entries are ours when their command runs a script from a
/// ".../murmeli/hooks/" directory.
namespace ClaudeSettingsEditor {

inline constexpr auto ourDirectoryMarker = "/murmeli/hooks/";

/// How long the agent lets a hook run. A held permission request needs long enough for murmeli to answer one queued
/// behind others (at most 55 s after it arrived) and for the permission script (which gives up at 58 s) to pass it
/// on; every other hook only posts and goes.
inline constexpr int heldHookTimeoutSeconds = 60;
inline constexpr int hookTimeoutSeconds = 10;

using Outcome = SettingsFileEdit::Outcome;

/// Adds one entry per required hook event (manifest matcher and argument) and the status line. A status line of the
/// user's own is kept; `notes` says so. False, with the reason in problem and the settings as they were, when a
/// value murmeli would add to is of a shape it does not know.
bool installHooks(JsonText& settings, const QString& hooksDirectory, QStringList* notes, QString* problem);

/// Takes out every entry and the status line of ours; groups and events that held only ours go too. Values of
/// shapes murmeli does not know stay as they are.
void removeHooks(JsonText& settings);

bool isOurCommand(const QString& command);

/// The shell command that runs a script of ours, quoted for the shell.
QString commandFor(const QString& hooksDirectory, const QString& script, const QString& argument = {});

/// The kind of a value in words, for a message that says why a file was refused.
QString describe(const JsonText& value);

/// One group of the agent's layout: {"matcher": .., "hooks": [{"type": "command", "command": .., "timeout": ..}]}.
JsonText hookGroup(const QString& command, int timeout, const std::optional<QString>& matcher);

/// Adds the group to each of the events' lists in the settings' "hooks" object; false, with the reason in problem
/// and the settings untouched, when "hooks" or an event's value is not what the agent's layout has there.
bool addHookGroups(JsonText& settings, const std::vector<std::pair<QString, JsonText>>& groups, QString* problem);

/// Reads the file (a missing file counts as {}), applies the edit, and writes the result when it differs.
Outcome installIntoFile(const QString& settingsPath, const QString& hooksDirectory, QString* message,
    const InstallRecord& record = InstallRecord());
Outcome removeFromFile(const QString& settingsPath, QString* message, const InstallRecord& record = InstallRecord());

} // namespace ClaudeSettingsEditor

} // namespace murmeli::hooks
