#include "main/hooks/install/AgentSettingsEditor.h"

#include <algorithm>

#include "main/hooks/install/ClaudeSettingsEditor.h"

namespace murmeli::hooks::AgentSettingsEditor {

namespace {

const QString hooksKey = QStringLiteral("hooks");
const QString internalKey = QStringLiteral("internal");
const QString entriesKey = QStringLiteral("entries");
const QString enabledKey = QStringLiteral("enabled");

// The object under key, or a new one where there is none; nullopt (with the reason in problem) where something else is.
std::optional<JsonText> objectAt(const JsonText& parent, const QString& key, const QString& where, QString* problem)
{
    if (!parent.contains(key)) {
        return JsonText::object();
    }
    JsonText child = parent.value(key);
    if (!child.isObject()) {
        *problem = QStringLiteral("%1 holds %2 where murmeli expects an object")
                       .arg(where, ClaudeSettingsEditor::describe(child));
        return std::nullopt;
    }
    return child;
}

} // namespace

void removeHooks(JsonText& settings)
{
    // Claude Code's removal also drops a status line of ours, which no other agent's file ever holds.
    ClaudeSettingsEditor::removeHooks(settings);
}

bool installHooks(JsonText& settings, const AgentHookProfile& profile, const QString& hooksDirectory, QString* problem)
{
    JsonText result = settings;
    removeHooks(result);
    std::vector<std::pair<QString, JsonText>> groups;
    for (const AgentHookEntry& entry : profile.entries) {
        const int seconds = std::min(
            entry.held ? ClaudeSettingsEditor::heldHookTimeoutSeconds : ClaudeSettingsEditor::hookTimeoutSeconds,
            entry.longestTimeoutSeconds.value_or(ClaudeSettingsEditor::heldHookTimeoutSeconds));
        groups.emplace_back(entry.agentEvent,
            ClaudeSettingsEditor::hookGroup(
                ClaudeSettingsEditor::commandFor(hooksDirectory, profile.script, entry.murmeliEvent),
                profile.timeoutInMilliseconds ? seconds * 1000 : seconds, entry.matcher));
    }
    if (!ClaudeSettingsEditor::addHookGroups(result, groups, problem)) {
        return false;
    }
    settings = result;
    return true;
}

SettingsFileEdit::Outcome installIntoFile(const QString& settingsPath, const AgentHookProfile& profile,
    const QString& hooksDirectory, QString* message, const InstallRecord& record)
{
    return SettingsFileEdit::edit(
        settingsPath,
        [&](JsonText& settings, QString* problem) { return installHooks(settings, profile, hooksDirectory, problem); },
        message, record);
}

SettingsFileEdit::Outcome removeFromFile(const QString& settingsPath, QString* message, const InstallRecord& record)
{
    // The same removal as Claude Code's.
    return ClaudeSettingsEditor::removeFromFile(settingsPath, message, record);
}

bool enableOpenClawPack(JsonText& config, const QString& pack, QString* problem)
{
    const std::optional<JsonText> hooks = objectAt(config, hooksKey, QStringLiteral("\"hooks\""), problem);
    const std::optional<JsonText> internal
        = hooks ? objectAt(*hooks, internalKey, QStringLiteral("\"hooks\" → \"internal\""), problem) : std::nullopt;
    const std::optional<JsonText> entries = internal
        ? objectAt(*internal, entriesKey, QStringLiteral("\"hooks\" → \"internal\" → \"entries\""), problem)
        : std::nullopt;
    if (!entries) {
        return false;
    }
    // With the master switch on and no name selected, OpenClaw loads every hook of its hooks folder, ours too; a
    // first named entry would narrow that to the named hooks and silently drop the user's others.
    const QStringList names = entries->keys();
    const bool namesSelected = std::any_of(names.begin(), names.end(),
        [&](const QString& name) { return !(entries->value(name).value(enabledKey) == JsonText(false)); });
    if (internal->value(enabledKey) == JsonText(true) && !namesSelected) {
        return true;
    }
    std::optional<JsonText> ours = objectAt(
        *entries, pack, QStringLiteral("\"hooks\" → \"internal\" → \"entries\" → \"%1\"").arg(pack), problem);
    if (!ours) {
        return false;
    }
    ours->insert(enabledKey, JsonText(true));
    JsonText newEntries = *entries;
    newEntries.insert(pack, *ours);
    JsonText newInternal = *internal;
    newInternal.insert(entriesKey, newEntries);
    JsonText newHooks = *hooks;
    newHooks.insert(internalKey, newInternal);
    config.insert(hooksKey, newHooks);
    return true;
}

void removeOpenClawPack(JsonText& config, const QString& pack)
{
    JsonText hooks = config.value(hooksKey);
    JsonText internal = hooks.value(internalKey);
    JsonText entries = internal.value(entriesKey);
    if (!entries.contains(pack)) {
        return;
    }
    entries.remove(pack);
    const auto keepUnlessEmpty = [](JsonText& parent, const QString& key, const JsonText& child) {
        if (child.keys().isEmpty()) {
            parent.remove(key);
        } else {
            parent.insert(key, child);
        }
    };
    keepUnlessEmpty(internal, entriesKey, entries);
    keepUnlessEmpty(hooks, internalKey, internal);
    keepUnlessEmpty(config, hooksKey, hooks);
}

} // namespace murmeli::hooks::AgentSettingsEditor
