#pragma once

#include <QString>

#include "main/hooks/install/AgentHookProfile.h"
#include "main/hooks/install/InstallRecord.h"
#include "main/hooks/install/JsonText.h"
#include "main/hooks/install/SettingsFileEdit.h"

namespace murmeli::hooks {

/// Adds murmeli's hooks to another agent's settings, or takes them out again, leaving every other key and hook of
/// the user's file as it was. Entries are ours by the same rule as Claude Code's (a script below ".../murmeli/hooks/").
namespace AgentSettingsEditor {

/// Adds one entry per hook of the profile, each running the profile's script in hooksDirectory with the murmeli
/// event as its argument; entries of ours from an earlier install are replaced. False, with the reason in problem
/// and the settings as they were, when a value murmeli would add to is of a shape it does not know.
bool installHooks(JsonText& settings, const AgentHookProfile& profile, const QString& hooksDirectory, QString* problem);

/// Takes out every hook entry of ours; groups and events that held only ours go too.
void removeHooks(JsonText& settings);

SettingsFileEdit::Outcome installIntoFile(const QString& settingsPath, const AgentHookProfile& profile,
    const QString& hooksDirectory, QString* message, const InstallRecord& record = InstallRecord());
SettingsFileEdit::Outcome removeFromFile(
    const QString& settingsPath, QString* message, const InstallRecord& record = InstallRecord());

/// OpenClaw loads a hook from its hooks folder when its configuration names it (hooks.internal.entries.<name>.enabled)
/// or, with no name selected, discovers every hook there (hooks.internal.enabled). These name ours unless every hook
/// is discovered anyway (false, with the reason in problem, where the path to the name is not made of objects), and
/// take the name out again; objects the name alone needed go with it.
bool enableOpenClawPack(JsonText& config, const QString& pack, QString* problem);
void removeOpenClawPack(JsonText& config, const QString& pack);

} // namespace AgentSettingsEditor

} // namespace murmeli::hooks
