#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include "main/common/ProcessRunner.h"
#include "main/hooks/terminals/ProcessDiscovery.h"
#include "main/hooks/terminals/ProcessTable.h"
#include "platform/desktop/WindowSystem.h"

namespace murmeli::hooks {

/// Finds the top-level window that shows an agent's terminal: the window owned by the nearest ancestor of the agent's
/// process, or, for an agent inside tmux (whose server is no child of any terminal), the window of the nearest
/// ancestor of a tmux client attached to the session that holds the agent's terminal.
class TerminalWindowLocator final {
public:
    /// How deep a chain of ancestors is followed at most.
    static constexpr int maxAncestors = 64;

    /// windows lists the desktop's windows; tables and tmux are read through the runner.
    explicit TerminalWindowLocator(
        std::shared_ptr<platform::WindowSystem> windows, common::CommandRunner runner = common::defaultCommandRunner());

    /// The window owned by pid or by its nearest ancestor that owns one.
    static std::optional<platform::WindowId> windowOfProcess(
        const QString& pid, const hooks::ProcessTable& table, const QList<platform::WindowInfo>& windows);
    /// The pids of the tmux clients that show the session whose pane has the terminal tty, from the listings of
    /// `tmux list-panes -a -F "#{pane_tty} #{session_name}"` and `tmux list-clients -F "#{client_pid}
    /// #{client_session}"`.
    static QStringList clientsShowing(const QString& tty, const QString& panes, const QString& clients);

    /// The agent's window; none when no window shows it.
    QCoro::Task<std::optional<platform::WindowId>> locate(hooks::AgentProcess agent);

    platform::WindowSystem& windows() { return *m_windows; }

private:
    QCoro::Task<std::optional<QString>> tmux(QStringList arguments);

    std::shared_ptr<platform::WindowSystem> m_windows;
    common::CommandRunner m_runner;
};

} // namespace murmeli::hooks
