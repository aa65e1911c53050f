#pragma once

#include <array>

#include <QString>

namespace murmeli::device {

/// The short sounds that mark agent events.
enum class AudioCue {
    ApprovalRequested,
    Completion,
    Error,
    SessionStart,
    SessionEnd,
    PostToolUse,
    Notification,
};

inline constexpr std::array<AudioCue, 7> allAudioCues { AudioCue::ApprovalRequested, AudioCue::Completion,
    AudioCue::Error, AudioCue::SessionStart, AudioCue::SessionEnd, AudioCue::PostToolUse, AudioCue::Notification };

/// The cue's sound file name without its ".wav", such as "permission_request".
QString soundFile(AudioCue cue);
/// The phrase spoken when the cue's sound cannot be played, such as "Approval needed.".
QString fallbackTTS(AudioCue cue);

} // namespace murmeli::device
