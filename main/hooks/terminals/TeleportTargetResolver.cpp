#include "main/hooks/terminals/TeleportTargetResolver.h"

#include <utility>

namespace murmeli::hooks {

TeleportTargetResolver::TeleportTargetResolver(
    Teleporter iterm, Teleporter terminalApp, Teleporter ghostty, Teleporter warp)
    : iterm(std::move(iterm)), terminalApp(std::move(terminalApp)), ghostty(std::move(ghostty)), warp(std::move(warp))
{
}

TeleportTargetResolver::Teleporter TeleportTargetResolver::resolve(const AgentSession& session) const
{
    if (!session.terminalApp) {
        return nullptr;
    }
    const QString name = session.terminalApp->trimmed().toLower();
    if (name == u"iterm") {
        return iterm;
    }
    if (name == u"terminal") {
        return terminalApp;
    }
    if (name == u"ghostty") {
        return ghostty;
    }
    if (name == u"warp") {
        return warp;
    }
    return nullptr;
}

QCoro::Task<TeleportResult> TeleportTargetResolver::teleport(AgentSession session) const
{
    // Held in the frame so the teleporter outlives the jump even if this resolver does not.
    const Teleporter target = resolve(session);
    if (!target) {
        co_return TeleportResult::Unsupported;
    }
    co_return co_await target->teleport(std::move(session));
}

} // namespace murmeli::hooks
