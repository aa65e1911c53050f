#include "main/hooks/install/ClaudeSettingsEditor.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/install/SettingsFileEdit.h"

namespace murmeli::hooks::ClaudeSettingsEditor {

namespace {

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

QJsonArray withoutOurEntries(const QJsonArray& groups)
{
    QJsonArray kept;
    for (const QJsonValue& groupValue : groups) {
        if (!groupValue.isObject()) {
            kept.append(groupValue);
            continue;
        }
        QJsonObject group = groupValue.toObject();
        const QJsonValue hooksValue = group.value(QLatin1String("hooks"));
        if (!hooksValue.isArray()) {
            // A group that is itself a hook entry.
            if (!isOurCommand(group.value(QLatin1String("command")).toString())) {
                kept.append(group);
            }
            continue;
        }
        const QJsonArray hooks = hooksValue.toArray();
        QJsonArray remaining;
        for (const QJsonValue& hook : hooks) {
            if (!(hook.isObject() && isOurCommand(hook.toObject().value(QLatin1String("command")).toString()))) {
                remaining.append(hook);
            }
        }
        if (remaining.size() == hooks.size()) {
            kept.append(group);
        } else if (!remaining.isEmpty()) {
            group.insert(QLatin1String("hooks"), remaining);
            kept.append(group);
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

QJsonObject withHooksRemoved(const QJsonObject& settings)
{
    QJsonObject result = settings;
    const QJsonValue hooksValue = settings.value(QLatin1String("hooks"));
    if (hooksValue.isObject()) {
        QJsonObject hooks = hooksValue.toObject();
        for (const QString& event : hooks.keys()) {
            const QJsonValue groups = hooks.value(event);
            if (!groups.isArray() || groups.toArray().isEmpty()) {
                continue;
            }
            const QJsonArray kept = withoutOurEntries(groups.toArray());
            if (kept.isEmpty()) {
                hooks.remove(event);
            } else if (kept != groups.toArray()) {
                hooks.insert(event, kept);
            }
        }
        if (hooks.isEmpty()) {
            result.remove(QLatin1String("hooks"));
        } else {
            result.insert(QLatin1String("hooks"), hooks);
        }
    }
    const QJsonObject statusLine = settings.value(QLatin1String("statusLine")).toObject();
    if (isOurCommand(statusLine.value(QLatin1String("command")).toString())) {
        result.remove(QLatin1String("statusLine"));
    }
    return result;
}

QJsonObject withHooksInstalled(const QJsonObject& settings, const QString& hooksDirectory, QStringList* notes)
{
    QJsonObject result = withHooksRemoved(settings);
    QJsonObject hooks = result.value(QLatin1String("hooks")).toObject();
    if (settings.contains(QLatin1String("hooks")) && !settings.value(QLatin1String("hooks")).isObject() && notes) {
        *notes << QStringLiteral("the \"hooks\" value was not an object and has been replaced");
    }
    for (const HookEventDescriptor& row : HookEventManifest::all()) {
        if (!row.requiresInstallHooks) {
            continue;
        }
        const QString event = toString(row.name);
        QJsonObject entry { { QStringLiteral("hooks"),
            QJsonArray { QJsonObject { { QStringLiteral("type"), QStringLiteral("command") },
                { QStringLiteral("command"), commandFor(hooksDirectory, row.hookScript, row.hookArgs) },
                { QStringLiteral("timeout"), timeoutFor(row) } } } } };
        if (row.matcher) {
            entry.insert(QStringLiteral("matcher"), *row.matcher);
        }
        QJsonArray groups = hooks.value(event).toArray();
        groups.append(entry);
        hooks.insert(event, groups);
    }
    result.insert(QStringLiteral("hooks"), hooks);

    const auto statusRow = HookEventManifest::descriptor(HookEventType::Status);
    const QJsonValue userStatusLine = result.value(QLatin1String("statusLine"));
    if (userStatusLine.isUndefined()) {
        result.insert(QStringLiteral("statusLine"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("command") },
                { QStringLiteral("command"), commandFor(hooksDirectory, statusRow->hookScript) } });
    } else if (notes) {
        *notes << QStringLiteral("kept your own statusLine; murmeli reads sessions from hook events instead of it");
    }
    return result;
}

Outcome installIntoFile(const QString& settingsPath, const QString& hooksDirectory, QString* message)
{
    QStringList notes;
    const Outcome outcome = SettingsFileEdit::edit(
        settingsPath, [&](const QJsonObject& s) { return withHooksInstalled(s, hooksDirectory, &notes); }, message);
    if (message && !notes.isEmpty()) {
        *message += QStringLiteral("\n") + notes.join(QLatin1Char('\n'));
    }
    return outcome;
}

Outcome removeFromFile(const QString& settingsPath, QString* message)
{
    return SettingsFileEdit::edit(settingsPath, &withHooksRemoved, message);
}

} // namespace murmeli::hooks::ClaudeSettingsEditor
