#pragma once

#include <QString>

/// The files the General page opens for the user below "~/.murmeli": the settings file and the push-to-talk logs.
/// Folders made here are readable only by the user (0700); failing to make one, or to write the template, is not
/// reported: opening then shows the user what is there.
namespace murmeli::settings::SettingsFiles {

/// "<home>/.murmeli/logs".
QString pttLogDir(const QString& homePath);
/// The settings file's path; when there is no file yet, its folder and the template (version 1, a null prompt
/// template) are made first. An existing file is never touched.
QString prepareSettingsFile(const QString& homePath);
/// The log folder's path, made first when it is missing.
QString prepareLogDir(const QString& homePath);

} // namespace murmeli::settings::SettingsFiles
