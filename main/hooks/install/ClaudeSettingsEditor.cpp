#include "main/hooks/install/ClaudeSettingsEditor.h"

#include <QDir>

#include "main/hooks/events/HookEventManifest.h"

namespace murmeli::hooks::ClaudeSettingsEditor {

namespace {

const QString hooksKey = QStringLiteral("hooks");
const QString commandKey = QStringLiteral("command");
const QString statusLineKey = QStringLiteral("statusLine");

int timeoutFor(const HookEventDescriptor& row)
{
    return row.requiresAsyncResponse ? heldHookTimeoutSeconds : hookTimeoutSeconds;
}

QString shellQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool isOurs(const JsonText& hook)
{
    return hook.isObject() && isOurCommand(hook.value(commandKey).toString());
}

// The groups without our entries, and whether any was taken out. Anything that is not a group of the layout is kept.
std::vector<JsonText> withoutOurEntries(const std::vector<JsonText>& groups)
{
    std::vector<JsonText> kept;
    for (const JsonText& groupValue : groups) {
        if (!groupValue.isObject()) {
            kept.push_back(groupValue);
            continue;
        }
        const JsonText hooksValue = groupValue.value(hooksKey);
        if (!hooksValue.isArray()) {
            // A group that is itself a hook entry.
            if (!isOurs(groupValue)) {
                kept.push_back(groupValue);
            }
            continue;
        }
        std::vector<JsonText> remaining;
        for (const JsonText& hook : hooksValue.items()) {
            if (!isOurs(hook)) {
                remaining.push_back(hook);
            }
        }
        if (remaining.size() == hooksValue.items().size()) {
            kept.push_back(groupValue);
        } else if (!remaining.empty()) {
            JsonText group = groupValue;
            JsonText list = hooksValue;
            list.setItems(std::move(remaining));
            group.insert(hooksKey, list);
            kept.push_back(group);
        }
    }
    return kept;
}

} // namespace

bool isOurCommand(const QString& command)
{
    return command.contains(QLatin1String(ourDirectoryMarker));
}

QString commandFor(const QString& hooksDirectory, const QString& script, const QString& argument)
{
    QString command = shellQuoted(QDir(hooksDirectory).absoluteFilePath(script));
    if (!argument.isEmpty()) {
        command += QLatin1Char(' ') + argument;
    }
    return command;
}

QString describe(const JsonText& value)
{
    switch (value.kind()) {
    case JsonText::Kind::Null:
        return QStringLiteral("null");
    case JsonText::Kind::Bool:
        return QStringLiteral("true or false");
    case JsonText::Kind::Number:
        return QStringLiteral("a number");
    case JsonText::Kind::String:
        return QStringLiteral("a text");
    case JsonText::Kind::Array:
        return QStringLiteral("a list");
    case JsonText::Kind::Object:
        break;
    }
    return QStringLiteral("an object");
}

void removeHooks(JsonText& settings)
{
    JsonText hooks = settings.value(hooksKey);
    if (hooks.isObject() && !hooks.keys().isEmpty()) {
        for (const QString& event : hooks.keys()) {
            const JsonText groups = hooks.value(event);
            if (!groups.isArray() || groups.items().empty()) {
                continue;
            }
            std::vector<JsonText> kept = withoutOurEntries(groups.items());
            if (kept.empty()) {
                hooks.remove(event);
            } else {
                JsonText list = groups;
                list.setItems(std::move(kept));
                hooks.insert(event, list);
            }
        }
        if (hooks.keys().isEmpty()) {
            settings.remove(hooksKey);
        } else {
            settings.insert(hooksKey, hooks);
        }
    }
    if (isOurs(settings.value(statusLineKey))) {
        settings.remove(statusLineKey);
    }
}

JsonText hookGroup(const QString& command, int timeout, const std::optional<QString>& matcher)
{
    const JsonText hooks
        = JsonText::array({ JsonText::object({ { QStringLiteral("type"), JsonText(QStringLiteral("command")) },
            { commandKey, JsonText(command) }, { QStringLiteral("timeout"), JsonText(timeout) } }) });
    return matcher ? JsonText::object({ { QStringLiteral("matcher"), JsonText(*matcher) }, { hooksKey, hooks } })
                   : JsonText::object({ { hooksKey, hooks } });
}

bool addHookGroups(JsonText& settings, const std::vector<std::pair<QString, JsonText>>& groups, QString* problem)
{
    JsonText hooks = settings.contains(hooksKey) ? settings.value(hooksKey) : JsonText::object();
    if (!hooks.isObject()) {
        *problem = QStringLiteral("\"hooks\" holds %1 where murmeli expects an object of events").arg(describe(hooks));
        return false;
    }
    for (const auto& [event, group] : groups) {
        JsonText list = hooks.contains(event) ? hooks.value(event) : JsonText::array();
        if (!list.isArray()) {
            *problem = QStringLiteral("\"hooks\" → \"%1\" holds %2 where murmeli expects a list of hook groups")
                           .arg(event, describe(list));
            return false;
        }
        list.append(group);
        hooks.insert(event, list);
    }
    settings.insert(hooksKey, hooks);
    return true;
}

bool installHooks(JsonText& settings, const QString& hooksDirectory, QStringList* notes, QString* problem)
{
    JsonText result = settings;
    removeHooks(result);
    std::vector<std::pair<QString, JsonText>> groups;
    for (const HookEventDescriptor& row : HookEventManifest::all()) {
        if (!row.requiresInstallHooks) {
            continue;
        }
        groups.emplace_back(toString(row.name),
            hookGroup(commandFor(hooksDirectory, row.hookScript, row.hookArgs), timeoutFor(row), row.matcher));
    }
    if (!addHookGroups(result, groups, problem)) {
        return false;
    }

    const auto statusRow = HookEventManifest::descriptor(HookEventType::Status);
    if (!result.contains(statusLineKey)) {
        result.insert(statusLineKey,
            JsonText::object({ { QStringLiteral("type"), JsonText(QStringLiteral("command")) },
                { commandKey, JsonText(commandFor(hooksDirectory, statusRow->hookScript)) } }));
    } else if (notes) {
        *notes << QStringLiteral("kept your own statusLine; murmeli reads sessions from hook events instead of it");
    }
    settings = result;
    return true;
}

Outcome installIntoFile(
    const QString& settingsPath, const QString& hooksDirectory, QString* message, const InstallRecord& record)
{
    QStringList notes;
    const Outcome outcome = SettingsFileEdit::edit(
        settingsPath,
        [&](JsonText& settings, QString* problem) { return installHooks(settings, hooksDirectory, &notes, problem); },
        message, record);
    if (message && !notes.isEmpty() && outcome != Outcome::Refused) {
        *message += QStringLiteral("\n") + notes.join(QLatin1Char('\n'));
    }
    return outcome;
}

Outcome removeFromFile(const QString& settingsPath, QString* message, const InstallRecord& record)
{
    return SettingsFileEdit::edit(
        settingsPath,
        [](JsonText& settings, QString*) {
            removeHooks(settings);
            return true;
        },
        message, record);
}

} // namespace murmeli::hooks::ClaudeSettingsEditor
