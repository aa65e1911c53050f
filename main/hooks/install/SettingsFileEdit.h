#pragma once

#include <functional>

#include <QString>

#include "main/hooks/install/InstallRecord.h"
#include "main/hooks/install/JsonText.h"

namespace murmeli::hooks::SettingsFileEdit {

enum class Outcome {
    Unchanged, // the file already says what it should
    Written, // backed up, then replaced atomically (or, holding nothing but what murmeli put there, removed)
    Refused, // not a JSON object murmeli can write back, read-only, or of a shape the edit does not know: untouched
    Failed, // could not be written; the old file is still in place
};

/// How many backups of one file are kept; older ones go.
inline constexpr int maxBackups = 5;

/// Changes the settings in place; false refuses the file, problem saying why, and it stays as it was.
using Edit = std::function<bool(JsonText& settings, QString* problem)>;

/// Reads an agent's JSON settings file (a missing file counts as {}), applies the edit, and when the result differs
/// backs the file up beside itself and replaces it atomically, keeping its mode; every value the edit did not touch
/// is written back as it was spelled. A file the edit leaves empty goes when the record says murmeli created it; a
/// file murmeli creates goes on the record with the folders created for it. A file that is not a JSON object, or
/// that its owner made read-only, is never rewritten. `message` gets one line for the user.
Outcome edit(
    const QString& settingsPath, const Edit& edit, QString* message, const InstallRecord& record = InstallRecord());

} // namespace murmeli::hooks::SettingsFileEdit
