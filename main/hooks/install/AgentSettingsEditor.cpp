#include "main/hooks/install/AgentSettingsEditor.h"

#include <algorithm>

#include <QJsonArray>

#include "main/hooks/install/ClaudeSettingsEditor.h"

namespace murmeli::hooks::AgentSettingsEditor {

namespace {

const QString hooksKey = QStringLiteral("hooks");
const QString internalKey = QStringLiteral("internal");
const QString entriesKey = QStringLiteral("entries");

} // namespace

QJsonObject withHooksRemoved(const QJsonObject& settings)
{
    // Claude Code's removal also drops a status line of ours, which no other agent's file ever holds.
    return ClaudeSettingsEditor::withHooksRemoved(settings);
}

QJsonObject withHooksInstalled(
    const QJsonObject& settings, const AgentHookProfile& profile, const QString& hooksDirectory)
{
    QJsonObject result = withHooksRemoved(settings);
    QJsonObject hooks = result.value(hooksKey).toObject();
    for (const AgentHookEntry& entry : profile.entries) {
        const int seconds
            = entry.held ? ClaudeSettingsEditor::heldHookTimeoutSeconds : ClaudeSettingsEditor::hookTimeoutSeconds;
        QJsonObject group { { hooksKey,
            QJsonArray { QJsonObject { { QStringLiteral("type"), QStringLiteral("command") },
                { QStringLiteral("command"),
                    ClaudeSettingsEditor::commandFor(hooksDirectory, profile.script, entry.murmeliEvent) },
                { QStringLiteral("timeout"), profile.timeoutInMilliseconds ? seconds * 1000 : seconds } } } } };
        if (entry.matcher) {
            group.insert(QStringLiteral("matcher"), *entry.matcher);
        }
        QJsonArray groups = hooks.value(entry.agentEvent).toArray();
        groups.append(group);
        hooks.insert(entry.agentEvent, groups);
    }
    result.insert(hooksKey, hooks);
    return result;
}

SettingsFileEdit::Outcome installIntoFile(
    const QString& settingsPath, const AgentHookProfile& profile, const QString& hooksDirectory, QString* message)
{
    return SettingsFileEdit::edit(
        settingsPath, [&](const QJsonObject& s) { return withHooksInstalled(s, profile, hooksDirectory); }, message);
}

SettingsFileEdit::Outcome removeFromFile(const QString& settingsPath, QString* message)
{
    return SettingsFileEdit::edit(settingsPath, &withHooksRemoved, message);
}

QJsonObject withOpenClawPackEnabled(const QJsonObject& config, const QString& pack)
{
    QJsonObject hooks = config.value(hooksKey).toObject();
    QJsonObject internal = hooks.value(internalKey).toObject();
    QJsonObject entries = internal.value(entriesKey).toObject();
    // With the master switch on and no name selected, OpenClaw loads every hook of its hooks folder, ours too; a
    // first named entry would narrow that to the named hooks and silently drop the user's others.
    const bool namesSelected = std::any_of(entries.begin(), entries.end(),
        [](const QJsonValue& entry) { return entry.toObject().value(QLatin1String("enabled")) != QJsonValue(false); });
    if (internal.value(QLatin1String("enabled")) == QJsonValue(true) && !namesSelected) {
        return config;
    }
    QJsonObject ours = entries.value(pack).toObject();
    ours.insert(QStringLiteral("enabled"), true);
    entries.insert(pack, ours);
    internal.insert(entriesKey, entries);
    hooks.insert(internalKey, internal);
    QJsonObject result = config;
    result.insert(hooksKey, hooks);
    return result;
}

QJsonObject withOpenClawPackRemoved(const QJsonObject& config, const QString& pack)
{
    QJsonObject hooks = config.value(hooksKey).toObject();
    QJsonObject internal = hooks.value(internalKey).toObject();
    QJsonObject entries = internal.value(entriesKey).toObject();
    if (!entries.contains(pack)) {
        return config;
    }
    entries.remove(pack);
    const auto keepUnlessEmpty = [](QJsonObject& parent, const QString& key, const QJsonObject& child) {
        if (child.isEmpty()) {
            parent.remove(key);
        } else {
            parent.insert(key, child);
        }
    };
    keepUnlessEmpty(internal, entriesKey, entries);
    keepUnlessEmpty(hooks, internalKey, internal);
    QJsonObject result = config;
    keepUnlessEmpty(result, hooksKey, hooks);
    return result;
}

} // namespace murmeli::hooks::AgentSettingsEditor
