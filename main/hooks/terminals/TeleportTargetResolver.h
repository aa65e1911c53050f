#pragma once

#include <memory>

#include <QCoroTask>

#include "main/hooks/terminals/TeleportTypes.h"
#include "main/hooks/terminals/TerminalTeleporters.h"

namespace murmeli::hooks {

/// Picks the teleporter for a session's terminal by the name discovery gave it.
class TeleportTargetResolver final {
public:
    using Teleporter = std::shared_ptr<const TerminalTeleporter>;

    explicit TeleportTargetResolver(Teleporter iterm = std::make_shared<ITermTeleporter>(),
        Teleporter terminalApp = std::make_shared<TerminalAppTeleporter>(),
        Teleporter ghostty = std::make_shared<GhosttyTeleporter>(),
        Teleporter warp = std::make_shared<WarpUnsupportedTeleporter>());

    /// The teleporter for "iTerm", "Terminal", "Ghostty" or "Warp" in any case and padding; null for any other name.
    Teleporter resolve(const AgentSession& session) const;

    /// The resolved teleporter's result, or unsupported when there is none.
    QCoro::Task<TeleportResult> teleport(AgentSession session) const;

    Teleporter iterm;
    Teleporter terminalApp;
    Teleporter ghostty;
    Teleporter warp;
};

} // namespace murmeli::hooks
