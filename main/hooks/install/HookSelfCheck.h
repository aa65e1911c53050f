#pragma once

#include <array>
#include <functional>

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks::HookSelfCheck {

/// One thing wrong with the agent's hook registration; fields a kind does not use stay empty.
struct Issue {
    enum class Kind { MissingEvent, StaleScript, SettingsMissing, SettingsUnparseable };

    Kind kind = Kind::MissingEvent;
    QString event;
    QString path;

    static Issue missingEvent(const QString& event) { return { Kind::MissingEvent, event, {} }; }
    static Issue staleScript(const QString& event, const QString& path) { return { Kind::StaleScript, event, path }; }
    static Issue settingsMissing(const QString& path) { return { Kind::SettingsMissing, {}, path }; }
    static Issue settingsUnparseable(const QString& path) { return { Kind::SettingsUnparseable, {}, path }; }

    bool operator==(const Issue&) const = default;
};

/// The issues of one check, in the order they were found.
struct Report {
    QList<Issue> issues;

    bool hasIssues() const { return !issues.isEmpty(); }

    bool operator==(const Report&) const = default;
};

/// Whether a file exists at a path, taken literally (no tilde or variable expansion).
using FileExists = std::function<bool(const QString&)>;

/// A hook command is ours when it contains one of these (case-sensitive).
inline constexpr std::array<QLatin1String, 2> ourMarkers { QLatin1String("murmeli"), QLatin1String("Vantor") };

/// The events the installer registers, in manifest order.
QStringList requiredHooks();

/// The real file-system check.
bool existsOnDisk(const QString& path);

/// Checks the settings file at settingsPath; a missing, non-regular or oversized file gives SettingsMissing.
Report run(const QString& settingsPath = StatusFiles::agentSettingsPath(), const FileExists& fileExists = existsOnDisk,
    const QStringList& required = requiredHooks());

/// Checks settings bytes already read from settingsPath, which only names the file in the issues.
Report run(const QByteArray& settingsData, const QString& settingsPath, const FileExists& fileExists = existsOnDisk,
    const QStringList& required = requiredHooks());

/// The script a hook command runs: the quoted first word without its quotes, else the text before the first blank.
QString scriptPath(const QString& command);

/// The log line for an issue.
QString message(const Issue& issue);

/// Passes message(issue) to log once per issue, in order.
void emit(const Report& report, const std::function<void(const QString&)>& log);

} // namespace murmeli::hooks::HookSelfCheck
