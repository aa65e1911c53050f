#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QDir>
#include <QString>

#include "main/common/Log.h"
#include "main/voice/preferences/AppSettings.h"

/// Finds, reads and decodes the settings file "~/.murmeli/settings.json". Reading never fails towards the caller
/// and never writes: a missing or unusable file gives the defaults and leaves the user's file as it is.
namespace murmeli::voice::AppSettingsLoader {

/// Receives the one line that reports an unusable file.
using LogLine = common::LineSink;

/// Far beyond a real settings file; a bigger one is reported and not read.
inline constexpr qint64 maxFileBytes = 64 * 1024;

/// What the settings page writes when it creates the file for the user: version 1, a null prompt template.
inline constexpr auto defaultFileContent
    = "{\n  \"version\": 1,\n  \"enhance\": {\n    \"prompt_template\": null\n  }\n}";

/// The file's place below the home directory, computed on every call.
QString configPath(const QString& homeDirectory = QDir::homePath());

/// The bytes decoded strictly: a missing or null key takes its default, a value of the wrong type anywhere makes
/// the whole file unusable (nullopt, with the reason in problem when given). Unknown keys are ignored.
std::optional<AppSettings> parse(const QByteArray& bytes, QString* problem = nullptr);

/// The file's settings. A file that cannot be read gives the defaults silently; one that cannot be decoded, or
/// that is too big, gives the defaults and one "[app-settings] failed to parse " line to onLog.
AppSettings load(const QString& path, const LogLine& onLog = {});

} // namespace murmeli::voice::AppSettingsLoader
