#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

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

/// The settings with one entry per required hook event (manifest matcher and argument) and the status line.
/// A status line of the user's own is kept; `notes` says so.
QJsonObject withHooksInstalled(
    const QJsonObject& settings, const QString& hooksDirectory, QStringList* notes = nullptr);

/// The settings without any entry or status line of ours; groups and events that held only ours go too.
QJsonObject withHooksRemoved(const QJsonObject& settings);

bool isOurCommand(const QString& command);

/// The shell command that runs a script of ours, quoted for the shell.
QString commandFor(const QString& hooksDirectory, const QString& script, const QString& argument = {});

/// Reads the file (a missing file counts as {}), applies the edit, and writes the result when it differs.
Outcome installIntoFile(const QString& settingsPath, const QString& hooksDirectory, QString* message);
Outcome removeFromFile(const QString& settingsPath, QString* message);

} // namespace ClaudeSettingsEditor

} // namespace murmeli::hooks
