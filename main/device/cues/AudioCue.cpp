#include "main/device/cues/AudioCue.h"

namespace murmeli::device {

QString soundFile(AudioCue cue)
{
    switch (cue) {
    case AudioCue::ApprovalRequested:
        return QStringLiteral("permission_request");
    case AudioCue::Completion:
        return QStringLiteral("stop");
    case AudioCue::Error:
        return QStringLiteral("stop_failure");
    case AudioCue::SessionStart:
        return QStringLiteral("session_start");
    case AudioCue::SessionEnd:
        return QStringLiteral("session_end");
    case AudioCue::PostToolUse:
        return QStringLiteral("post_tool_use");
    case AudioCue::Notification:
        return QStringLiteral("notification");
    }
    return QStringLiteral("notification");
}

QString fallbackTTS(AudioCue cue)
{
    switch (cue) {
    case AudioCue::ApprovalRequested:
        return QStringLiteral("Approval needed.");
    case AudioCue::Completion:
        return QStringLiteral("Done.");
    case AudioCue::Error:
        return QStringLiteral("Error.");
    case AudioCue::SessionStart:
        return QStringLiteral("Session started.");
    case AudioCue::SessionEnd:
        return QStringLiteral("Session ended.");
    case AudioCue::PostToolUse:
        return QStringLiteral("Tool ran.");
    case AudioCue::Notification:
        return QStringLiteral("Notice.");
    }
    return QStringLiteral("Notice.");
}

} // namespace murmeli::device
