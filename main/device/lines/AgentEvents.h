#pragma once

#include <optional>

#include <QJsonObject>
#include <QString>

/// Which of the agent's hook events the device hears of, as which "E:" event, and with what summary.
namespace murmeli::device::AgentEvents {

/// One event for the device: its type ("session", "prompt", "done", "error" or "agent") and the summary taken
/// from the hook event, absent when it carries none.
struct Event final {
    QString type;
    std::optional<QString> summary;

    friend bool operator==(const Event&, const Event&) = default;
};

/// The device's event for an accepted hook event; nullopt for the events the device is not told of.
std::optional<Event> forHookEvent(const QString& eventName, const QJsonObject& payload);

} // namespace murmeli::device::AgentEvents
