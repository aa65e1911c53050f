#include "main/device/lines/AgentEvents.h"

#include <QJsonValue>

#include "main/hooks/events/HookEventType.h"
#include "main/hooks/status/SummaryExtractor.h"

namespace murmeli::device::AgentEvents {

namespace {

using hooks::HookEventType;
namespace summary = hooks::SummaryExtractor;

/// The first visible line of the first of the keys whose value is text that has one.
std::optional<QString> firstLineOf(const QJsonObject& payload, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        const QJsonValue value = payload.value(QLatin1String(key));
        if (value.isString()) {
            if (std::optional<QString> line = summary::extractSummaryFromPlainText(value.toString())) {
                return line;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Event> forHookEvent(const QString& eventName, const QJsonObject& payload)
{
    const std::optional<HookEventType> type = hooks::hookEventTypeFromString(eventName);
    if (!type) {
        return std::nullopt;
    }
    switch (*type) {
    case HookEventType::SessionStart:
        return Event { QStringLiteral("session"), std::nullopt };
    case HookEventType::UserPromptSubmit:
        return Event { QStringLiteral("prompt"), firstLineOf(payload, { "prompt" }) };
    case HookEventType::Stop:
        return Event { QStringLiteral("done"), firstLineOf(payload, { "last_assistant_message" }) };
    case HookEventType::StopFailure:
        return Event { QStringLiteral("error"), firstLineOf(payload, { "error_message", "reason", "error_type" }) };
    case HookEventType::PostToolUseFailure:
        return Event { QStringLiteral("error"),
            summary::toolSummary(payload.value(QLatin1String("tool_name")).toString()) };
    case HookEventType::SubagentStart:
        return Event { QStringLiteral("agent"), firstLineOf(payload, { "agent_type" }) };
    default:
        return std::nullopt;
    }
}

} // namespace murmeli::device::AgentEvents
