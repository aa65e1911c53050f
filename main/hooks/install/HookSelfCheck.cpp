#include "main/hooks/install/HookSelfCheck.h"

#include <algorithm>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "main/common/TextUtils.h"
#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/install/AgentAdapter.h"
#include "main/hooks/sessions/SmallFile.h"

namespace murmeli::hooks::HookSelfCheck {

namespace {

// What the user does about it: the Integrations page installs the hooks again with the row's Install… button.
QString fixHooksHint()
{
    return QStringLiteral(" \u2014 open Settings \u2192 Integrations and press Install\u2026 on the %1 row")
        .arg(AgentAdapters::claudeCode().displayName);
}

// A list holding anything but objects counts as absent as a whole rather than filtered, so a half-broken event
// is never taken for a registered one.
std::optional<QList<QJsonObject>> objectArray(const QJsonValue& value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = value.toArray();
    QList<QJsonObject> objects;
    objects.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isObject()) {
            return std::nullopt;
        }
        objects.append(element.toObject());
    }
    return objects;
}

QString claudeSettingsUnderTilde()
{
    return AgentAdapters::claudeCode().settings->underTilde();
}

bool isOurs(const QString& command)
{
    return std::any_of(ourMarkers.cbegin(), ourMarkers.cend(),
        [&](QLatin1String marker) { return command.contains(marker, Qt::CaseSensitive); });
}

QStringList ourCommands(const QJsonValue& eventValue)
{
    QStringList commands;
    for (const QJsonObject& group : objectArray(eventValue).value_or(QList<QJsonObject> {})) {
        // A group without a usable "hooks" list may carry its command itself; an empty list contributes nothing.
        const auto entries = objectArray(group.value(QLatin1String("hooks")));
        for (const QJsonObject& entry : entries.value_or(QList<QJsonObject> { group })) {
            const QJsonValue command = entry.value(QLatin1String("command"));
            if (command.isString() && !command.toString().isEmpty() && isOurs(command.toString())) {
                commands.append(command.toString());
            }
        }
    }
    return commands;
}

} // namespace

QStringList requiredHooks()
{
    return HookEventManifest::requiredHookNames();
}

bool existsOnDisk(const QString& path)
{
    return QFileInfo::exists(path);
}

Report run(const QString& settingsPath, const FileExists& fileExists, const QStringList& required)
{
    const auto bytes = SmallFile::read(settingsPath, StatusFiles::maxSettingsBytes);
    if (!bytes) {
        return Report { { Issue::settingsMissing(settingsPath) } };
    }
    return run(*bytes, settingsPath, fileExists, required);
}

Report run(const QByteArray& settingsData, const QString& settingsPath, const FileExists& fileExists,
    const QStringList& required)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(settingsData, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return Report { { Issue::settingsUnparseable(settingsPath) } };
    }
    const QJsonObject hooks = document.object().value(QLatin1String("hooks")).toObject();
    const FileExists exists = fileExists ? fileExists : FileExists(existsOnDisk);

    Report report;
    for (const QString& event : required) {
        const QStringList commands = ourCommands(hooks.value(event));
        if (commands.isEmpty()) {
            report.issues.append(Issue::missingEvent(event));
            continue;
        }
        for (const QString& command : commands) {
            const QString path = scriptPath(command);
            if (!path.isEmpty() && !exists(path)) {
                report.issues.append(Issue::staleScript(event, path));
            }
        }
    }
    return report;
}

QString scriptPath(const QString& command)
{
    const QString trimmed = common::text::trimSpacesAndTabs(command);
    if (trimmed.isEmpty()) {
        return {};
    }
    const QChar first = trimmed.front();
    if (first == QLatin1Char('\'') || first == QLatin1Char('"')) {
        // A quoted path goes on, as the shell reads it, while no blank follows a closing quote: the installers write
        // a path holding a ' as '...'\''...', and reading only up to the first closing quote would call every hook
        // of a user named O'Neil stale.
        QString path;
        qsizetype at = 0;
        while (at < trimmed.size() && !trimmed.at(at).isSpace()) {
            const QChar c = trimmed.at(at);
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                const qsizetype closing = trimmed.indexOf(c, at + 1);
                if (closing < 0) {
                    return path + trimmed.mid(at + 1);
                }
                path += trimmed.mid(at + 1, closing - at - 1);
                at = closing + 1;
            } else if (c == QLatin1Char('\\') && at + 1 < trimmed.size()) {
                path += trimmed.at(at + 1);
                at += 2;
            } else {
                path += c;
                ++at;
            }
        }
        return path;
    }
    const auto blank = std::find_if(trimmed.cbegin(), trimmed.cend(), [](QChar c) { return c.isSpace(); });
    return trimmed.left(blank - trimmed.cbegin());
}

QString message(const Issue& issue)
{
    switch (issue.kind) {
    case Issue::Kind::MissingEvent:
        return QStringLiteral("[diag] startup: required hook ") + issue.event + QStringLiteral(" missing")
            + fixHooksHint();
    case Issue::Kind::StaleScript:
        return QStringLiteral("[diag] startup: ") + issue.event
            + QStringLiteral(" hook entry points to missing script ") + issue.path + fixHooksHint();
    case Issue::Kind::SettingsMissing:
        return QStringLiteral("[diag] startup: ") + claudeSettingsUnderTilde() + QStringLiteral(" not found at ")
            + issue.path + QStringLiteral(" \u2014 run ") + AgentAdapters::claudeCode().displayName
            + QStringLiteral(" once, then") + fixHooksHint().mid(2);
    case Issue::Kind::SettingsUnparseable:
        return QStringLiteral("[diag] startup: ") + claudeSettingsUnderTilde() + QStringLiteral(" at ") + issue.path
            + QStringLiteral(" is not valid JSON") + fixHooksHint();
    }
    return {};
}

void emit(const Report& report, const std::function<void(const QString&)>& log)
{
    if (!log) {
        return;
    }
    for (const Issue& issue : report.issues) {
        log(message(issue));
    }
}

} // namespace murmeli::hooks::HookSelfCheck
