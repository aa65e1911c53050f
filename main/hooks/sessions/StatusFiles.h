#pragma once

#include <array>
#include <optional>

#include <QDir>
#include <QLatin1String>
#include <QProcessEnvironment>
#include <QString>

namespace murmeli::hooks {

class SessionKey;

/// The files one agent session leaves in the status directory. Session is murmeli's own record of a session it was
/// told of (SessionRecord); no agent's script writes or reads it.
enum class StatusFileKind { Status, Activity, Notify, TranscriptPath, Session };

/// Where the agents and murmeli meet on disk: the status directory, the names of its files, the agent's settings
/// file, and how large each may be before it is taken for something else.
namespace StatusFiles {

inline constexpr auto directory = "/tmp/murmeli";
/// A single status file of the older status-line script, outside the status directory.
inline constexpr auto legacyStatusPath = "/tmp/vantor-status.json";

/// Session files are a few hundred bytes; anything larger than this is not one of them.
inline constexpr qint64 maxSessionFileBytes = 1024 * 1024;
/// Settings files are a few kilobytes; anything larger is treated as unreadable rather than loaded.
inline constexpr qint64 maxSettingsBytes = 16 * 1024 * 1024;

inline constexpr std::array allKinds { StatusFileKind::Status, StatusFileKind::Activity, StatusFileKind::Notify,
    StatusFileKind::TranscriptPath, StatusFileKind::Session };

/// The name without a key ("status.json", "activity.json", "notify.json", "transcript-path.txt", "session.json");
/// for the first three also the global file used when no session is named.
QLatin1String baseName(StatusFileKind kind);

/// What follows the key in a session's file name: "-" and the base name.
QString suffix(StatusFileKind kind);

/// The key followed by the suffix.
QString fileName(const SessionKey& key, StatusFileKind kind);

/// The text before the suffix when the name is a session file of this kind (empty for a name that is only the
/// suffix); nullopt otherwise. The text is not yet known to be a key.
std::optional<QString> keyTextOf(const QString& name, StatusFileKind kind);

/// The agent's settings file below a home directory, or where the environment puts it, as its installer finds it.
QString agentSettingsPath(const QString& home = QDir::homePath(),
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace StatusFiles

} // namespace murmeli::hooks
