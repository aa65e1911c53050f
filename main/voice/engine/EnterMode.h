#pragma once

#include <optional>

#include <QString>

namespace murmeli::voice {

/// Whether an Enter key press should follow an inserted transcript.
enum class EnterMode { Always, Never, Auto };

/// "always", "never" or "auto", as stored and as the settings page offers them.
QString toString(EnterMode mode);

/// The mode of a raw value; nullopt for anything else (the match is case-sensitive).
std::optional<EnterMode> enterModeFromString(const QString& rawValue);

/// Always and never decide alone; auto sends Enter after a short take, one of at most 3.0 s.
bool sendsEnter(EnterMode mode, double takeSeconds);

} // namespace murmeli::voice
