#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

#include <QCoroTask>

namespace murmeli::hooks {

/// Where an agent session lives, as far as its terminal can be told.
struct AgentSession final {
    std::optional<QString> terminalApp; // the host name discovery gives, e.g. "iTerm"
    std::optional<QString> terminalSessionID;
    std::optional<QString> workingDirectory;
    std::optional<QString> terminalTTY;
    std::optional<QString> paneTitle;

    friend bool operator==(const AgentSession&, const AgentSession&) = default;
};

/// How a jump to a session's terminal tab ended. Undecided: several terminals may each be the session's, and nothing
/// tells which.
enum class TeleportResult { Success, Timeout, PermissionDenied, TerminalClosed, Unsupported, Undecided };

/// The case name: "success", "timeout", "permissionDenied", "terminalClosed", "unsupported" or "undecided".
QString toString(TeleportResult result);

/// Brings the terminal window and tab that host a session to the front.
class TerminalTeleporter {
public:
    TerminalTeleporter() = default;
    virtual ~TerminalTeleporter() = default;
    Q_DISABLE_COPY_MOVE(TerminalTeleporter)

    /// Jumps to the session's tab without blocking the calling thread, whose event loop must run meanwhile.
    virtual QCoro::Task<TeleportResult> teleport(AgentSession session) const = 0;
};

} // namespace murmeli::hooks
