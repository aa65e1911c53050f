#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace murmeli::common {

/// The folders of files murmeli ships beside its executable.
enum class ResourceFolder {
    Scripts, // the agents' hook scripts and installers
    Sounds, // the cue sounds
    Fonts, // the interface's font files
    Speech, // the on-device recogniser's dictation model and developer dictionary
};

/// Where a resource folder may lie, in the order tried: the source tree above a build-tree executable
/// (<root>/build/main/app/murmeli → <root>/Resources/scripts, <root>/HookSounds, <root>/fonts,
/// <root>/Resources/speech), then an installed layout (<prefix>/bin/murmeli → <prefix>/share/murmeli/scripts,
/// .../HookSounds, .../fonts, .../speech). A symbolic link to the executable is followed first.
QStringList resourceFolderCandidates(const QString& executablePath, ResourceFolder folder);

/// The first candidate that is a directory; nullopt when none is.
std::optional<QString> findResourceFolder(const QString& executablePath, ResourceFolder folder);

} // namespace murmeli::common
