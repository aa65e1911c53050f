#pragma once

#include <array>
#include <optional>

#include <QHashFunctions>
#include <QString>

namespace murmeli::hooks {

/// The event names the agents' hook scripts post to /hook/<name>, in their fixed order.
enum class HookEventType {
    Status,
    PostToolUse,
    PostToolUseFailure,
    Notification,
    PermissionRequest,
    SessionStart,
    SessionEnd,
    Stop,
    StopFailure,
    PreCompact,
    PostCompact,
    CwdChanged,
    UserPromptSubmit,
    SubagentStart,
    SubagentStop,
    InstructionsLoaded,
    TaskCreated,
    Elicitation,
    ElicitationResult,
};

inline constexpr std::size_t hookEventTypeCount = 19;

/// The name exactly as it appears in the request path.
QString toString(HookEventType type);

/// Exact, case-sensitive match against the nineteen names; anything else is nullopt.
std::optional<HookEventType> hookEventTypeFromString(const QString& rawValue);

/// Codex's event for a turn the user stopped in its own terminal (Esc), which also cancels the permission request
/// it was asking; Claude Code has no such event, so it stays out of the nineteen that every install registers.
inline constexpr char interruptEventName[] = "Interrupt";

/// Every case in declaration order.
const std::array<HookEventType, hookEventTypeCount>& allHookEventTypes();

/// Hashes like its name does, so sets keyed by name and by case agree.
inline size_t qHash(HookEventType type, size_t seed = 0) noexcept
{
    return ::qHash(toString(type), seed);
}

} // namespace murmeli::hooks
