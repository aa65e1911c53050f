#include "main/app/shell/QuitRequest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "main/hooks/approvals/ApprovalSerialization.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/server/HookServer.h"

namespace murmeli::app {

using common::LogColor;

namespace {

constexpr auto fromThePanel = "murmeli quits from the panel";

} // namespace

QuitRequest::QuitRequest(hooks::PendingRequestTable& table, hooks::HookServer& server, common::Clock& clock)
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
        goAhead(QString::fromLatin1(fromThePanel));
        return;
    }
    onLog(QStringLiteral("quit: asking first, %1 permission request(s) held").arg(held), LogColor::Orange);
    m_asking = true;
    Retell retell = ask(QStringLiteral("Quit murmeli?"), detailFor(held), [this](bool confirmed) {
        if (m_quitting) {
            return; // the question closes as murmeli ends without it
        }
        m_asking = false;
        m_heldChanges.reset();
        m_retell = nullptr;
        if (confirmed) {
            goAhead(QString::fromLatin1(fromThePanel));
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

void QuitRequest::requestWithoutAsking(const QString& why)
{
    if (m_quitting) {
        return;
    }
    m_asking = false;
    m_heldChanges.reset();
    m_retell = nullptr;
    goAhead(why);
}

void QuitRequest::failOpenNow(const QString& why)
{
    if (m_quitting) {
        return;
    }
    failOpenHeld(why);
    // This thread takes nothing in any more: a request on its way to the table, or one the server takes from its
    // queue as it closes, gets the fail-open answer from the server itself.
    m_server.answerHeldAtOnce(
        hooks::ApprovalSerialization::responseBody(hooks::ApprovalDecision::failOpen(), {}).toUtf8());
    // The replies are written on the server's own thread, which needs nothing of this one.
    const QDeadlineTimer deadline(replyWaitMs);
    while (m_server.activeConnectionCount() > 0 && !deadline.hasExpired()) {
        QThread::msleep(replyPollMs);
    }
}

void QuitRequest::failOpenHeld(const QString& what)
{
    m_quitting = true;
    // A request taken from now on could not be answered once murmeli is gone; refused, its hook lets the agent ask
    // in its own terminal.
    m_server.stop();
    const QList<hooks::ApprovalRequest> held = m_table.heldRequests();
    onLog(QStringLiteral("quit: %1; %2 held request(s) fail open").arg(what).arg(held.size()), LogColor::Orange);
    failOpenLate();
}

void QuitRequest::failOpenLate()
{
    for (const hooks::ApprovalRequest& request : m_table.heldRequests()) {
        m_table.resolve(request.toolUseId, hooks::ApprovalDecision::failOpen());
    }
}

void QuitRequest::goAhead(const QString& what)
{
    failOpenHeld(what);
    waitForReplies(m_clock.monotonicMs() + replyWaitMs);
}

void QuitRequest::waitForReplies(qint64 deadlineMs)
{
    // Requests that were on their way in when the door closed reach the table only now.
    failOpenLate();
    // The replies are written on the server's thread; the process must not end before they have left.
    if (m_server.activeConnectionCount() == 0 || m_clock.monotonicMs() >= deadlineMs) {
        m_poll.reset();
        quit();
        return;
    }
    m_poll = m_clock.schedule(replyPollMs, [this, deadlineMs] { waitForReplies(deadlineMs); });
}

} // namespace murmeli::app
