#include "main/hooks/server/HookServerWorker.h"

#include <algorithm>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

#include <unistd.h>

#include "main/hooks/server/HttpRequest.h"
#include "platform/system/ListenerShutdown.h"
#include "platform/system/MemoryRelease.h"

namespace murmeli::hooks {

namespace {

constexpr qint64 refusalLogIntervalMs = 60000;
// How long a closing listener waits, with nothing new, for handshakes that were under way when it shut; on loopback
// one completes within microseconds, but a loaded machine may hold its last packet back, so the listener waits on
// while the kernel lists one under way, up to the bound.
constexpr int handshakeSettleMs = 10;
constexpr qint64 handshakeBoundMs = 1000;

} // namespace

QStringList HookServerShared::acceptedSecrets() const
{
    const std::lock_guard lock(mutex);
    if (!secret || secret->isEmpty()) {
        return {};
    }
    return QStringList { *secret } + otherSecrets;
}

HookServerWorker::HookServerWorker(std::shared_ptr<HookServerShared> shared, HookServerOptions options,
    std::shared_ptr<common::Clock> clock, DeliverFn deliver, common::LogSink log, ClosedFn closed, WakeFn wake)
    : m_shared(std::move(shared)), m_options(options), m_clock(std::move(clock)), m_deliver(std::move(deliver)),
      m_log(std::move(log)), m_closed(std::move(closed)), m_wake(std::move(wake)),
      m_chunk(http::readChunkBytes, Qt::Uninitialized),
      m_originRefusals(QStringLiteral("HookServer: refused %1 request(s) from a web browser (Origin or foreign Host)")),
      m_connectionRefusals(QStringLiteral("HookServer: busy, refused %1 connection(s) (limits: %2 open, %3 KiB of "
                                          "requests buffered)")
                               .arg(QStringLiteral("%1"), QString::number(options.maxConnections),
                                   QString::number(options.maxBufferedBytes / 1024))),
      m_roomMade(QStringLiteral("HookServer: full, closed %1 connection(s) that had shown no hook secret to make room "
                                "(limits: %2 open, %3 KiB of requests buffered)")
                     .arg(QStringLiteral("%1"), QString::number(options.maxConnections),
                         QString::number(options.maxBufferedBytes / 1024))),
      m_eventRefusals(QStringLiteral("HookServer: murmeli is busy, %1 event(s) answered 503 and not handled")),
      m_bearerRefusals(QStringLiteral("HookServer: refused %1 event(s) from %2: their hook secret is not one murmeli "
                                      "holds (401). Install that agent's hooks again (Settings → Integrations, or "
                                      "its installer), then restart the agent"),
          true),
      m_ownerUnknown(QStringLiteral("HookServer: the system did not tell whose %1 connection(s) were (its socket table "
                                    "could not be asked): none of them is closed to make room for others, nor is "
                                    "room made for them, and with no hook secret stored they are heard as yours"),
          true),
      m_otherUsers(QStringLiteral("HookServer: refused %1 request(s) from another user's processes (user id %2) with "
                                  "403: with no hook secret stored, murmeli hears only your own. Installing an "
                                  "agent's hooks stores one"),
          true)
{
}

void HookServerWorker::wakeOwner()
{
    if (!m_wakeCooldown) {
        m_wakeCooldown = new QTimer(this);
        m_wakeCooldown->setSingleShot(true);
        m_wakeCooldown->setInterval(2);
        m_wakeCooldown->setTimerType(Qt::PreciseTimer);
        connect(m_wakeCooldown, &QTimer::timeout, this, [this] {
            if (m_wakeOwed) {
                m_wakeOwed = false;
                m_wake();
                m_wakeCooldown->start();
            }
        });
    }
    if (m_wakeCooldown->isActive()) {
        m_wakeOwed = true;
        return;
    }
    m_wake();
    m_wakeCooldown->start();
}

HookServerWorker::~HookServerWorker()
{
    shutdown();
}

qint64 HookServerWorker::nowMs() const
{
    return m_clock->monotonicMs();
}

void HookServerWorker::setListenerState(const QString& state)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->listenerState = state;
}

bool HookServerWorker::listen(quint16 port)
{
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
    }
    m_server = new QTcpServer(this);
    // Agents burst at session start; a short kernel queue would turn that into connect retries.
    m_server->setListenBacklogSize(1024);
    connect(m_server, &QTcpServer::newConnection, this, &HookServerWorker::acceptPending);
    // Loopback only: the endpoint takes unauthenticated events when no secret is set.
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        QString line = QStringLiteral("HookServer: failed — ") + m_server->errorString();
        m_shared->portTaken = m_server->serverError() == QAbstractSocket::AddressInUseError;
        if (m_shared->portTaken) {
            // Nothing retries: the user has to free the port, and needs to know which one and how.
            line += QStringLiteral(": 127.0.0.1:%1 is held by another murmeli or another program, so no agent's "
                                   "events reach this murmeli. Quit that murmeli or the program on port %1, then "
                                   "start murmeli again")
                        .arg(port);
        }
        m_server->deleteLater();
        m_server = nullptr;
        m_shared->running = false;
        setListenerState(QStringLiteral("failed"));
        m_log(line, common::LogColor::Red);
        wakeOwner();
        return false;
    }
    if (!m_sweepTimer) {
        m_sweepTimer = new QTimer(this);
        connect(m_sweepTimer, &QTimer::timeout, this, &HookServerWorker::sweep);
    }
    m_sweepTimer->start(static_cast<int>(
        std::clamp<qint64>(std::min(m_options.requestDeadlineMs, m_options.headDeadlineMs) / 4, 10, 1000)));
    m_shared->port = m_server->serverPort();
    m_shared->portTaken = false;
    m_shared->running = true;
    setListenerState(QStringLiteral("ready"));
    bool enforced = false;
    {
        const std::lock_guard lock(m_shared->mutex);
        enforced = m_shared->secret && !m_shared->secret->isEmpty();
    }
    m_log(QStringLiteral("HookServer: listening on 127.0.0.1:") + QString::number(m_server->serverPort())
            + (enforced ? QStringLiteral(" (auth enforced)") : QStringLiteral(" (legacy no-auth)")),
        common::LogColor::Grey);
    wakeOwner();
    return true;
}

void HookServerWorker::stopListening()
{
    if (m_server) {
        // A connection the kernel has already set up would be reset by the close, its client left with no reply. The
        // kernel first stops setting up new ones; those it set up, and those whose handshake was under way and comes
        // in a moment later, are taken and served like the others. Once the listener is closed the kernel refuses new
        // ones. Bounded: a listener that stays readable while nothing can be accepted (no descriptor left) must not
        // hold the thread.
        const qintptr listener = m_server->socketDescriptor();
        const bool shut = platform::stopNewConnections(listener);
        // The kernel's time, not the server's clock: the handshakes run on it.
        const QDeadlineTimer bound(handshakeBoundMs);
        int plug = -1;
        for (int round = 0; round < m_options.maxConnections; ++round) {
            if (m_server->waitForNewConnection(handshakeSettleMs)
                || (!bound.hasExpired() && platform::handshakesUnderWay(listener))) {
                acceptPending();
                continue;
            }
            // Where no filter could be set, the queue is filled with a connection of our own that the close resets.
            if (shut || bound.hasExpired() || (plug = platform::plugNewConnections(listener)) >= 0) {
                break;
            }
        }
        if (!shut && plug < 0) {
            m_log(QStringLiteral("HookServer: the listener could not be shut to new connections; a hook that "
                                 "connects as it closes may be cut off"),
                common::LogColor::Orange);
        }
        acceptPending();
        m_server->close();
        if (plug >= 0) {
            ::close(plug);
        }
        m_server->deleteLater();
        m_server = nullptr;
        closeOthersUnproven();
    }
    m_shared->running = false;
    setListenerState(QStringLiteral("cancelled"));
}

void HookServerWorker::shutdown()
{
    stopListening();
    if (m_sweepTimer) {
        m_sweepTimer->stop();
    }
    while (!m_connections.empty()) {
        drop(m_connections.begin()->first, true);
    }
}

void HookServerWorker::sweep()
{
    // The owner's thread takes what waits as soon as there is room; this is for a wake-up that found none.
    resumeHandOver();
    const qint64 now = nowMs();
    std::vector<quint64> expired;
    for (const auto& [id, connection] : m_connections) {
        if (connection.stage != Stage::Held && now >= connection.deadlineMs) {
            expired.push_back(id);
        }
    }
    for (const quint64 id : expired) {
        Connection& connection = m_connections.at(id);
        if (connection.stage != Stage::Waiting) {
            drop(id, true);
            continue;
        }
        // Acknowledging an event that will never be handled would report it as done; the hook scripts take 503
        // for murmeli being away.
        noteRefusal(m_eventRefusals);
        if (connection.peerGone) {
            drop(id, false);
        } else {
            m_bufferedBytes -= std::exchange(connection.waiting, std::nullopt)->bytes;
            countWaiting(-1);
            send(id, connection, 503, http::busyBody, true);
        }
    }
    for (RefusalLog* refusals : { &m_originRefusals, &m_connectionRefusals, &m_roomMade, &m_eventRefusals,
             &m_bearerRefusals, &m_ownerUnknown, &m_otherUsers }) {
        reportRefusals(*refusals, !refusals->paced && refusals->unreported == refusals->unreportedAtSweep);
        refusals->unreportedAtSweep = refusals->unreported;
    }
    // The allocator keeps what a burst freed for reuse; once it has passed, resident memory goes back to idle.
    if (m_burst && m_connections.size() < burstConnections / 16 && m_bufferedBytes < burstBytes / 16) {
        m_burst = false;
        platform::releaseFreeMemory();
    }
}

void HookServerWorker::noteRefusal(RefusalLog& refusals, const QString& sender)
{
    ++refusals.unreported;
    // A handful is enough to tell the user which agents to see to.
    if (!sender.isEmpty() && !refusals.senders.contains(sender) && refusals.senders.size() < 8) {
        refusals.senders << sender;
    }
    reportRefusals(refusals);
}

void HookServerWorker::reportRefusals(RefusalLog& refusals, bool stopped)
{
    const qint64 now = nowMs();
    if (refusals.unreported == 0
        || (!stopped && refusals.loggedAtMs && now - *refusals.loggedAtMs < refusalLogIntervalMs)) {
        return;
    }
    refusals.loggedAtMs = now;
    QString line = refusals.text.arg(std::exchange(refusals.unreported, 0));
    if (!refusals.senders.isEmpty()) {
        line = line.arg(std::exchange(refusals.senders, {}).join(QStringLiteral(", ")));
    }
    m_log(line, common::LogColor::Orange);
    wakeOwner();
}

} // namespace murmeli::hooks
