#include "main/app/shell/QuitRequest.h"

#include <algorithm>

#include <QCoreApplication>

#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/server/HookServer.h"

namespace murmeli::app {

using common::LogColor;

QuitRequest::QuitRequest(hooks::PendingRequestTable& table, const hooks::HookServer& server, common::Clock& clock)
    : quit([] { QCoreApplication::quit(); }), m_table(table), m_server(server), m_clock(clock)
{
}

QuitRequest::~QuitRequest()
{
    if (m_poll) {
        m_clock.cancel(*m_poll);
    }
}

void QuitRequest::request()
{
    if (m_asking || m_quitting) {
        return;
    }
    const int held = m_table.pendingCountTotal();
    if (held == 0 || !ask) {
        goAhead();
        return;
    }
    onLog(QStringLiteral("quit: asking first, %1 permission request(s) held").arg(held), LogColor::Orange);
    m_asking = true;
    Retell retell = ask(QStringLiteral("Quit murmeli?"), detailFor(held), [this](bool confirmed) {
        m_asking = false;
        m_heldChanges.reset();
        m_retell = nullptr;
        if (confirmed) {
            goAhead();
        } else {
            onLog(QStringLiteral("quit: cancelled, murmeli keeps running"), LogColor::Blue);
        }
    });
    // The question may have been answered already, before ask returned.
    if (m_asking && retell) {
        m_retell = std::move(retell);
        m_heldChanges = m_table.observeChanges([this] {
            if (m_retell) {
                m_retell(detailFor(m_table.pendingCountTotal()));
            }
        });
    }
}

QString QuitRequest::detailFor(int held)
{
    if (held == 0) {
        return QStringLiteral("No permission request waits any more.");
    }
    return QStringLiteral("%1 permission request(s) wait for your answer. If murmeli quits now, each agent asks in its "
                          "own terminal instead.")
        .arg(held);
}

void QuitRequest::goAhead()
{
    m_quitting = true;
    const QList<hooks::ApprovalRequest> held = m_table.heldRequests();
    onLog(QStringLiteral("quit: murmeli quits from the panel; %1 held request(s) fail open").arg(held.size()),
        LogColor::Orange);
    const qint64 before = m_server.activeConnectionCount();
    for (const hooks::ApprovalRequest& request : held) {
        m_table.resolve(request.toolUseId, hooks::ApprovalDecision::failOpen());
    }
    waitForReplies(std::max<qint64>(0, before - held.size()), m_clock.monotonicMs() + replyWaitMs);
}

void QuitRequest::waitForReplies(qint64 connectionsLeft, qint64 deadlineMs)
{
    // The replies are written on the server's thread; the process must not end before they have left.
    if (m_server.activeConnectionCount() <= connectionsLeft || m_clock.monotonicMs() >= deadlineMs) {
        m_poll.reset();
        quit();
        return;
    }
    m_poll = m_clock.schedule(
        replyPollMs, [this, connectionsLeft, deadlineMs] { waitForReplies(connectionsLeft, deadlineMs); });
}

} // namespace murmeli::app
