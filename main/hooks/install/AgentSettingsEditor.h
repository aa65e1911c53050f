#pragma once

#include <QJsonObject>
#include <QString>

#include "main/hooks/install/AgentHookProfile.h"
#include "main/hooks/install/SettingsFileEdit.h"

namespace murmeli::hooks {

/// Adds murmeli's hooks to another agent's settings, or takes them out again, leaving every other key and hook of
/// the user's file as it was. Entries are ours by the same rule as Claude Code's (a script below ".../murmeli/hooks/").
namespace AgentSettingsEditor {

/// The settings with one entry per hook of the profile, each running the profile's script in hooksDirectory with
/// the murmeli event as its argument; entries of ours from an earlier install are replaced.
QJsonObject withHooksInstalled(
    const QJsonObject& settings, const AgentHookProfile& profile, const QString& hooksDirectory);

/// The settings without any hook entry of ours; groups and events that held only ours go too.
QJsonObject withHooksRemoved(const QJsonObject& settings);

SettingsFileEdit::Outcome installIntoFile(
    const QString& settingsPath, const AgentHookProfile& profile, const QString& hooksDirectory, QString* message);
SettingsFileEdit::Outcome removeFromFile(const QString& settingsPath, QString* message);

/// OpenClaw loads a hook from its hooks folder when its configuration names it (hooks.internal.entries.<name>.enabled)
/// or, with no name selected, discovers every hook there (hooks.internal.enabled). These name ours unless every hook
/// is discovered anyway, and take the name out again; objects the name alone needed go with it.
QJsonObject withOpenClawPackEnabled(const QJsonObject& config, const QString& pack);
QJsonObject withOpenClawPackRemoved(const QJsonObject& config, const QString& pack);

} // namespace AgentSettingsEditor

} // namespace murmeli::hooks
