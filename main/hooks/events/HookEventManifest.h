#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "main/hooks/events/HookEventType.h"

namespace murmeli::hooks {

/// One row of the compiled-in hook table: which script posts an event and how the installer registers it.
struct HookEventDescriptor {
    HookEventType name = HookEventType::Status;
    QString hookScript;
    QString hookArgs;
    std::optional<QString> matcher;
    bool requiresInstallHooks = false;
    bool requiresAsyncResponse = false;
    QString descriptionText;

    bool operator==(const HookEventDescriptor&) const = default;
};

namespace HookEventManifest {

/// The nineteen rows, one per event, in declaration order of HookEventType.
const std::vector<HookEventDescriptor>& all();

/// The first row for the event, nullopt when none matches.
std::optional<HookEventDescriptor> descriptor(HookEventType type);

/// Whether the server holds the reply open until a decision is made for this event.
bool isAsync(HookEventType type);

/// The event names the installer must register in the agent's hooks block, in table order.
QStringList requiredHookNames();

} // namespace HookEventManifest

} // namespace murmeli::hooks
