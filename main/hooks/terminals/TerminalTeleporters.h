#pragma once

#include <functional>
#include <memory>

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "main/hooks/terminals/AppleScriptRunner.h"
#include "main/hooks/terminals/TeleportTypes.h"
#include "platform/applescript/ScriptHost.h"
#include "platform/applescript/ScriptHostFactory.h"

namespace murmeli::hooks {

/// Whether an application with that bundle identifier is running; called off the main thread.
using ApplicationRunningProbe = std::function<bool(const QString& bundleId)>;

/// A teleporter that searches the terminal's tabs with one script and falls back to activating the terminal.
class AppleScriptTeleporter : public TerminalTeleporter {
public:
    /// Scripts go to host, which is shared with the worker threads that run them.
    explicit AppleScriptTeleporter(std::shared_ptr<platform::ScriptHost> host = platform::makeScriptHost());

    ApplicationRunningProbe isRunning = &AppleScriptRunner::isRunning;

protected:
    /// Runs the search and, unless it hit, the activation on a worker thread; anyNeedle false skips the search.
    QCoro::Task<TeleportResult> searchThenActivate(
        QString bundleId, bool anyNeedle, QString searchScript, QString activateScript) const;

private:
    std::shared_ptr<platform::ScriptHost> m_host;
};

/// Selects the iTerm session whose tty, unique id or directory matches.
class ITermTeleporter final : public AppleScriptTeleporter {
public:
    using AppleScriptTeleporter::AppleScriptTeleporter;

    static constexpr QLatin1String bundleId { "com.googlecode.iterm2" };

    QCoro::Task<TeleportResult> teleport(AgentSession session) const override;
};

/// Selects the Terminal tab whose tty or custom title matches.
class TerminalAppTeleporter final : public AppleScriptTeleporter {
public:
    using AppleScriptTeleporter::AppleScriptTeleporter;

    static constexpr QLatin1String bundleId { "com.apple.Terminal" };

    QCoro::Task<TeleportResult> teleport(AgentSession session) const override;
};

/// Focuses the Ghostty terminal whose id, working directory or name matches.
class GhosttyTeleporter final : public AppleScriptTeleporter {
public:
    using AppleScriptTeleporter::AppleScriptTeleporter;

    static constexpr QLatin1String bundleId { "com.mitchellh.ghostty" };

    QCoro::Task<TeleportResult> teleport(AgentSession session) const override;
};

/// Warp offers no way to select a tab from outside; every jump is answered as unsupported.
class WarpUnsupportedTeleporter final : public TerminalTeleporter {
public:
    QCoro::Task<TeleportResult> teleport(AgentSession session) const override;
};

} // namespace murmeli::hooks
