#pragma once

#include <functional>

#include <QJsonObject>
#include <QString>

namespace murmeli::hooks::SettingsFileEdit {

enum class Outcome {
    Unchanged, // the file already says what it should
    Written, // backed up, then replaced atomically
    Refused, // not a JSON object (or unreadable): left exactly as it was
    Failed, // could not be written; the old file is still in place
};

using Edit = std::function<QJsonObject(const QJsonObject&)>;

/// Reads an agent's JSON settings file (a missing file counts as {}), applies the edit, and when the result differs
/// backs the file up beside itself and replaces it atomically. A file that is not a JSON object is never rewritten.
/// `message` gets one line for the user.
Outcome edit(const QString& settingsPath, const Edit& edit, QString* message);

} // namespace murmeli::hooks::SettingsFileEdit
