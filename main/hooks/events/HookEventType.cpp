#include "main/hooks/events/HookEventType.h"

namespace murmeli::hooks {

namespace {

struct Name {
    HookEventType type;
    const char* raw;
};

constexpr std::array<Name, hookEventTypeCount> names { {
    { HookEventType::Status, "status" },
    { HookEventType::PostToolUse, "PostToolUse" },
    { HookEventType::PostToolUseFailure, "PostToolUseFailure" },
    { HookEventType::Notification, "Notification" },
    { HookEventType::PermissionRequest, "PermissionRequest" },
    { HookEventType::SessionStart, "SessionStart" },
    { HookEventType::SessionEnd, "SessionEnd" },
    { HookEventType::Stop, "Stop" },
    { HookEventType::StopFailure, "StopFailure" },
    { HookEventType::PreCompact, "PreCompact" },
    { HookEventType::PostCompact, "PostCompact" },
    { HookEventType::CwdChanged, "CwdChanged" },
    { HookEventType::UserPromptSubmit, "UserPromptSubmit" },
    { HookEventType::SubagentStart, "SubagentStart" },
    { HookEventType::SubagentStop, "SubagentStop" },
    { HookEventType::InstructionsLoaded, "InstructionsLoaded" },
    { HookEventType::TaskCreated, "TaskCreated" },
    { HookEventType::Elicitation, "Elicitation" },
    { HookEventType::ElicitationResult, "ElicitationResult" },
} };

} // namespace

QString toString(HookEventType type)
{
    return QString::fromLatin1(names[static_cast<std::size_t>(type)].raw);
}

std::optional<HookEventType> hookEventTypeFromString(const QString& rawValue)
{
    for (const Name& name : names) {
        if (rawValue == QLatin1String(name.raw)) {
            return name.type;
        }
    }
    return std::nullopt;
}

const std::array<HookEventType, hookEventTypeCount>& allHookEventTypes()
{
    static const std::array<HookEventType, hookEventTypeCount> all = [] {
        std::array<HookEventType, hookEventTypeCount> types {};
        for (std::size_t i = 0; i < names.size(); ++i) {
            types[i] = names[i].type;
        }
        return types;
    }();
    return all;
}

} // namespace murmeli::hooks
