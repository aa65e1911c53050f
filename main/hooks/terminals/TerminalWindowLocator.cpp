#include "main/hooks/terminals/TerminalWindowLocator.h"

#include <algorithm>

#include <QSet>

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

TerminalWindowLocator::TerminalWindowLocator(
    std::shared_ptr<platform::WindowSystem> windows, common::CommandRunner runner)
    : m_windows(std::move(windows)), m_runner(std::move(runner))
{
}

std::optional<platform::WindowId> TerminalWindowLocator::windowOfProcess(
    const QString& pid, const hooks::ProcessTable& table, const QList<platform::WindowInfo>& windows)
{
    QString current = pid;
    QSet<QString> seen;
    for (int depth = 0; depth < maxAncestors && !current.isEmpty() && !seen.contains(current); ++depth) {
        seen.insert(current);
        bool isNumber = false;
        const qint64 number = current.toLongLong(&isNumber);
        if (!isNumber || number <= 1) {
            return std::nullopt;
        }
        const auto owned = std::find_if(
            windows.begin(), windows.end(), [number](const platform::WindowInfo& w) { return w.pid == number; });
        if (owned != windows.end()) {
            return owned->id;
        }
        const hooks::ProcessRow* row = table.find(current);
        if (!row) {
            return std::nullopt;
        }
        current = row->ppid;
    }
    return std::nullopt;
}

QStringList TerminalWindowLocator::clientsShowing(const QString& tty, const QString& panes, const QString& clients)
{
    QString session;
    for (const QString& line : common::text::nonEmptyLines(panes)) {
        const qsizetype space = line.indexOf(u' ');
        if (space > 0 && line.left(space) == tty) {
            session = line.mid(space + 1);
            break;
        }
    }
    QStringList pids;
    if (session.isEmpty()) {
        return pids;
    }
    for (const QString& line : common::text::nonEmptyLines(clients)) {
        const qsizetype space = line.indexOf(u' ');
        if (space > 0 && line.mid(space + 1) == session) {
            pids.append(line.left(space));
        }
    }
    return pids;
}

QCoro::Task<std::optional<QString>> TerminalWindowLocator::tmux(QStringList arguments)
{
    common::ProcessRequest request;
    request.program = QStringLiteral("tmux");
    request.arguments = std::move(arguments);
    request.timeout = std::chrono::milliseconds(3000);
    request.maxOutputBytes = 1024 * 1024;
    const common::ProcessResult result = co_await m_runner(std::move(request));
    if (!result.succeeded()) {
        co_return std::nullopt;
    }
    co_return QString::fromUtf8(result.standardOutput);
}

QCoro::Task<std::optional<platform::WindowId>> TerminalWindowLocator::locate(hooks::AgentProcess agent)
{
    const std::optional<hooks::ProcessTable> table = co_await hooks::ProcessTable::readAsync(m_runner);
    if (!table) {
        co_return std::nullopt;
    }
    const QList<platform::WindowInfo> windows = m_windows->windows();
    if (const auto window = windowOfProcess(agent.pid, *table, windows)) {
        co_return window;
    }
    // Inside tmux the agent descends from the tmux server; the terminal runs a client of it.
    if (!agent.tty) {
        co_return std::nullopt;
    }
    // Named, not built inside the co_await: g++ 12 cannot take a braced list there.
    const QStringList listPanes { QStringLiteral("list-panes"), QStringLiteral("-a"), QStringLiteral("-F"),
        QStringLiteral("#{pane_tty} #{session_name}") };
    const QStringList listClients { QStringLiteral("list-clients"), QStringLiteral("-F"),
        QStringLiteral("#{client_pid} #{client_session}") };
    const std::optional<QString> panes = co_await tmux(listPanes);
    const std::optional<QString> clients = co_await tmux(listClients);
    if (!panes || !clients) {
        co_return std::nullopt;
    }
    for (const QString& client : clientsShowing(*agent.tty, *panes, *clients)) {
        if (const auto window = windowOfProcess(client, *table, windows)) {
            co_return window;
        }
    }
    co_return std::nullopt;
}

} // namespace murmeli::hooks
