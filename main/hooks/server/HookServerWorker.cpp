#include "main/hooks/server/HookServerWorker.h"

#include <algorithm>
#include <cerrno>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>
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
// A burst: this many connections at once, or this much buffered. It has passed when both are down to a sixteenth.
constexpr std::size_t burstConnections = 64;
constexpr qsizetype burstBytes = 4 * 1024 * 1024;
constexpr qint64 lingerReadBytes = 4096;
// Heads are a few hundred bytes; anything larger is read on in steps of this size.
constexpr qsizetype headChunkBytes = 4096;

// One attempt, straight to the kernel: a connection closed for being too many costs no buffer, and a client that
// cannot take the reply gets the close.
void sendBusy(QTcpSocket* socket)
{
    static const QByteArray reply = http::formatReply(503, http::busyBody);
    ::send(static_cast<int>(socket->socketDescriptor()), reply.constData(), static_cast<std::size_t>(reply.size()),
        MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Who sent a request, as its x-murmeli-adapter header says, fit for a log line: the header is the client's to write.
QString senderOf(const http::RequestHead& head)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._-]{1,40}$"));
    if (!head.adapter || head.adapter->isEmpty()) {
        return QStringLiteral("an agent that names no adapter");
    }
    return plain.match(*head.adapter).hasMatch() ? *head.adapter : QStringLiteral("an adapter with an unreadable name");
}

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

void HookServerWorker::acceptPending()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        // The worker's own, not the listener's: connections outlive a listener that is stopped or replaced.
        socket->setParent(this);
        // Connections past the limits, where no room can be made, are taken from the kernel and closed at once: left
        // in its queue they would pile up there without bound and be served long after their clients gave up.
        std::optional<bool> own;
        const auto ownNewcomer = [&] {
            if (!own) {
                own = isOwn(socket);
            }
            return *own;
        };
        if (!makeRoom(1, http::maxRequestBytes, ownNewcomer)) {
            refuse(socket);
            continue;
        }
        const quint64 id = m_nextId++;
        socket->setReadBufferSize(http::readChunkBytes);
        Connection& connection = m_connections[id];
        connection.socket = socket;
        connection.own = own;
        connection.acceptedAtMs = nowMs();
        connection.deadlineMs
            = connection.acceptedAtMs + std::min(m_options.headDeadlineMs, m_options.requestDeadlineMs);
        {
            const std::lock_guard lock(m_shared->mutex);
            ++m_shared->activeConnections;
        }
        m_burst = m_burst || m_connections.size() >= burstConnections;
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { readFrom(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { peerClosed(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) {
                readFailed(id);
            }
        });
        // Bytes may already be waiting when the connection is handed over.
        if (socket->bytesAvailable() > 0) {
            readFrom(id);
        }
    }
    // In a flood the listener takes connections for a long time before the event loop turns, and each closes another
    // to make room: those go now. None of them is in a signal of its own here.
    deleteDisposed();
}

void HookServerWorker::refuse(QTcpSocket* socket)
{
    noteRefusal(m_connectionRefusals);
    sendBusy(socket);
    socket->abort();
    dispose(socket);
}

bool HookServerWorker::makeRoom(int connections, qsizetype bytes, const std::function<bool()>& forOwn)
{
    // Only connections that have not shown the secret are closed, another user's before the user's own, and the
    // user's own only for the user's own: however many connections another user holds open, whatever they send, a hook
    // of the user's always gets in, and is not closed while it still looks at who listens before it sends a byte.
    for (const bool othersOnly : { true, false }) {
        if (!othersOnly && !forOwn()) {
            return false;
        }
        auto next = m_connections.begin();
        while (!fits(connections, bytes)) {
            const bool slotsFull = static_cast<int>(m_connections.size()) + connections > m_options.maxConnections;
            // One that has been answered already holds no buffer, only its slot.
            next = std::find_if(next, m_connections.end(), [&](auto& entry) {
                Connection& connection = entry.second;
                const bool closable = (connection.stage == Stage::Reading && !connection.proven)
                    || (slotsFull && connection.stage == Stage::Lingering);
                return closable && !(othersOnly && isOwn(connection));
            });
            if (next == m_connections.end()) {
                break;
            }
            const quint64 id = next->first;
            if (next->second.stage == Stage::Reading) {
                sendBusy(next->second.socket);
            }
            ++next;
            noteRefusal(m_roomMade);
            drop(id, true);
        }
        if (fits(connections, bytes)) {
            return true;
        }
    }
    return false;
}

bool HookServerWorker::isOwn(QTcpSocket* socket) const
{
    // An end the system cannot name is nobody's the user could vouch for.
    return m_options.peerUid && m_options.peerUid(socket->socketDescriptor()) == ::geteuid();
}

bool HookServerWorker::isOwn(Connection& connection) const
{
    if (!connection.own) {
        connection.own = isOwn(connection.socket);
    }
    return *connection.own;
}

bool HookServerWorker::fits(int connections, qsizetype bytes) const
{
    return static_cast<int>(m_connections.size()) + connections <= m_options.maxConnections
        && m_bufferedBytes + bytes <= m_options.maxBufferedBytes;
}

void HookServerWorker::readFrom(quint64 id, bool peerGone)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) {
        return;
    }
    Connection& connection = it->second;
    if (connection.stage != Stage::Reading) {
        discardInput(id, connection);
        return;
    }
    // A peer that has stopped sending cannot be answered any more.
    const auto fail = [&](int status, const QByteArray& body) {
        if (peerGone) {
            drop(id, false);
        } else {
            send(id, connection, status, body, true);
        }
    };
    QTcpSocket* socket = connection.socket;
    while (socket->bytesAvailable() > 0) {
        // The head is read in small steps: the buffer is sized for the whole request once the head tells how large
        // it is.
        qsizetype wanted = connection.head ? http::readChunkBytes : headChunkBytes;
        if (const auto length = connection.head ? http::requestLength(*connection.head) : std::nullopt) {
            // Bytes after the request stay unread: they are not part of it.
            wanted = std::min(wanted, *length - connection.buffer.size());
        }
        const qint64 received = socket->read(m_chunk.data(), wanted);
        if (received <= 0) {
            break;
        }
        const qsizetype before = connection.buffer.size();
        qsizetype capacity = connection.buffer.capacity();
        connection.buffer.append(QByteArrayView(m_chunk.constData(), received));
        if (!recount(connection, capacity)) {
            fail(503, http::busyBody);
            return;
        }
        if (!connection.head) {
            const http::HeadScan scan = http::scanHead(connection.buffer, before);
            if (scan == http::HeadScan::Malformed) {
                fail(400, http::badRequestBody);
                return;
            }
            if (scan == http::HeadScan::Partial) {
                if (connection.buffer.size() > http::maxRequestBytes) {
                    fail(413, QByteArrayLiteral("Payload too large"));
                    return;
                }
                continue;
            }
            connection.head = http::parseHead(connection.buffer);
            connection.proven = http::bearerMatches(*connection.head, m_shared->acceptedSecrets());
            connection.deadlineMs = connection.acceptedAtMs + m_options.requestDeadlineMs;
            // One allocation for the whole request: growing step by step copies it each time and leaves holes in
            // the heap that a flood turns into resident memory.
            if (const auto length = http::requestLength(*connection.head); length && *length <= http::maxRequestBytes) {
                capacity = connection.buffer.capacity();
                connection.buffer.reserve(*length);
                if (!recount(connection, capacity)) {
                    fail(503, http::busyBody);
                    return;
                }
            }
        }
        switch (http::framingOf(connection.buffer, *connection.head)) {
        case http::Framing::Incomplete:
            continue;
        case http::Framing::TooLarge:
            fail(413, QByteArrayLiteral("Payload too large"));
            return;
        case http::Framing::Malformed:
            fail(400, http::badRequestBody);
            return;
        case http::Framing::Complete:
            process(id, connection, peerGone);
            return;
        }
    }
    if (peerGone) {
        // The peer stopped sending before its request was whole: a cut-off request is not taken for the real one.
        drop(id, false);
    }
}

bool HookServerWorker::recount(Connection& connection, qsizetype capacityBefore)
{
    m_bufferedBytes += connection.buffer.capacity() - capacityBefore;
    m_burst = m_burst || m_bufferedBytes >= burstBytes;
    if (m_bufferedBytes <= m_options.maxBufferedBytes || (connection.proven && makeRoom(0, 0, [] { return true; }))) {
        return true;
    }
    noteRefusal(m_connectionRefusals);
    return false;
}

void HookServerWorker::releaseBuffer(Connection& connection)
{
    m_bufferedBytes -= connection.buffer.capacity();
    connection.buffer = QByteArray();
}

void HookServerWorker::process(quint64 id, Connection& connection, bool peerGone)
{
    bool held = false;
    const http::RequestHead head = *std::exchange(connection.head, std::nullopt);
    // Bytes after the request, here already or still in the socket, must be read before the close.
    const bool trailing = connection.buffer.size() > http::requestLength(head).value_or(connection.buffer.size())
        || connection.socket->bytesAvailable() > 0;
    http::Verdict verdict = http::evaluate(connection.buffer, head, m_shared->acceptedSecrets(), m_shared->port);
    releaseBuffer(connection);
    const auto answer = [&](int status, const QByteArray& body, bool lingering) {
        if (peerGone) {
            drop(id, false);
        } else {
            send(id, connection, status, body, lingering);
        }
    };
    if (const auto* reply = std::get_if<http::Reply>(&verdict)) {
        if (reply->status == 401) {
            // The hook goes on being refused, event after event, until the user acts; only the log can say so.
            noteRefusal(m_bearerRefusals, senderOf(head));
        }
        answer(reply->status, reply->body, true);
        return;
    }
    auto delivery = std::get<http::Delivery>(std::move(verdict));
    {
        const std::lock_guard lock(m_shared->mutex);
        held = m_shared->heldEventNames.isEmpty() || m_shared->heldEventNames.contains(delivery.eventName);
    }
    connection.peerGone = peerGone;
    const bool awaits = awaitsReply(connection, held);
    // Events waiting already go first: they arrived first.
    if (m_waiting.empty() && m_deliver(id, delivery, awaits)) {
        handedOver(id, connection, awaits, trailing);
        return;
    }
    const qsizetype bytes = delivery.body.size()
        + (delivery.eventName.size() + delivery.adapter.size() + delivery.agentProcess.size()) * 2;
    m_bufferedBytes += bytes;
    connection.waiting = WaitingEvent { std::move(delivery), held, trailing, bytes };
    connection.stage = Stage::Waiting;
    connection.deadlineMs = nowMs() + m_options.requestDeadlineMs;
    m_waiting.push_back(id);
    countWaiting(1);
}

bool HookServerWorker::awaitsReply(const Connection& connection, bool held) const
{
    return m_shared->asyncReplies && !connection.peerGone && held;
}

void HookServerWorker::handedOver(quint64 id, Connection& connection, bool awaitsReply, bool trailing)
{
    {
        const std::lock_guard lock(m_shared->mutex);
        ++m_shared->totalEvents;
        m_shared->lastEventAtMs = nowMs();
    }
    wakeOwner();
    if (connection.peerGone) {
        drop(id, false);
    } else if (awaitsReply) {
        connection.stage = Stage::Held;
    } else {
        send(id, connection, 200, http::okBody, trailing);
    }
}

void HookServerWorker::countWaiting(int change)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->waitingEvents += change;
}

void HookServerWorker::noteOwnerBurst()
{
    m_burst = true;
}

void HookServerWorker::resumeHandOver()
{
    while (!m_waiting.empty()) {
        const quint64 id = m_waiting.front();
        const auto it = m_connections.find(id);
        if (it == m_connections.end() || it->second.stage != Stage::Waiting) {
            m_waiting.pop_front();
            continue;
        }
        Connection& connection = it->second;
        const bool awaits = awaitsReply(connection, connection.waiting->held);
        if (!m_deliver(id, connection.waiting->delivery, awaits)) {
            return;
        }
        m_waiting.pop_front();
        const WaitingEvent event = *std::exchange(connection.waiting, std::nullopt);
        m_bufferedBytes -= event.bytes;
        countWaiting(-1);
        handedOver(id, connection, awaits, event.trailing);
    }
}

void HookServerWorker::send(quint64 id, Connection& connection, int status, const QByteArray& body, bool lingering)
{
    if (status == 401 || status == 403) {
        const std::lock_guard lock(m_shared->mutex);
        ++(status == 401 ? m_shared->bearerRejects : m_shared->originRejects);
    }
    if (status == 403) {
        noteRefusal(m_originRefusals);
    }
    releaseBuffer(connection);
    QTcpSocket* socket = connection.socket;
    // The reply to an accepted event is the same every time.
    static const QByteArray okReply = http::formatReply(200, http::okBody);
    const QByteArray reply = status == 200 && body == http::okBody ? okReply : http::formatReply(status, body);
    // Handed to the kernel directly: a reply fits the socket's send buffer, and Qt's own write buffer would keep a
    // 32 KiB block for as long as the connection stays open (lingering or held, a flood has a thousand of them).
    const ssize_t sent = ::send(static_cast<int>(socket->socketDescriptor()), reply.constData(),
        static_cast<std::size_t>(reply.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        // The peer is gone; nobody is left to read the reply.
        drop(id, true);
        return;
    }
    if (const qsizetype written = std::max<ssize_t>(sent, 0); written < reply.size()) {
        // Only when the send buffer is full: Qt writes the rest as it drains, and the close waits for that.
        socket->write(reply.sliced(written));
    }
    if (lingering) {
        lingeringClose(id, connection);
        return;
    }
    connection.stage = Stage::Closing;
    connection.deadlineMs = nowMs() + m_options.closeDeadlineMs;
    if (socket->bytesToWrite() == 0) {
        socket->disconnect(this);
        socket->disconnectFromHost();
        drop(id, false);
        return;
    }
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        drop(id, false);
    }
}

void HookServerWorker::lingeringClose(quint64 id, Connection& connection)
{
    connection.stage = Stage::Lingering;
    connection.deadlineMs = nowMs() + m_options.lingerDeadlineMs;
    QTcpSocket* socket = connection.socket;
    // Bytes that are only thrown away need no large buffer; in a flood many connections linger at once.
    socket->setReadBufferSize(lingerReadBytes);
    // Shutting down our side ends the reply for the client while its remaining bytes are still read; the close
    // comes when it closes too, or when the bounds are reached.
    const auto finishSending = [socket] {
        if (socket->bytesToWrite() == 0) {
            ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, this, finishSending);
    finishSending();
    discardInput(id, connection);
}

void HookServerWorker::discardInput(quint64 id, Connection& connection)
{
    const qint64 skipped = connection.socket->skip(connection.socket->bytesAvailable());
    if (connection.stage == Stage::Lingering) {
        connection.discarded += std::max<qint64>(skipped, 0);
        if (connection.discarded > m_options.lingerMaxBytes) {
            drop(id, true);
        }
    }
}

void HookServerWorker::reply(quint64 id, int status, const QByteArray& body)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end() || it->second.stage != Stage::Held) {
        return;
    }
    send(id, it->second, status, body, false);
}

void HookServerWorker::peerClosed(quint64 id)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) {
        return;
    }
    if (it->second.stage == Stage::Reading) {
        // What arrived before the close may still make a whole request; it is handled, though no reply can reach
        // the peer now.
        readFrom(id, true);
        return;
    }
    if (it->second.stage == Stage::Waiting) {
        it->second.peerGone = true;
        return;
    }
    drop(id, false);
}

void HookServerWorker::readFailed(quint64 id)
{
    const auto it = m_connections.find(id);
    if (it != m_connections.end() && it->second.stage == Stage::Waiting) {
        it->second.peerGone = true;
        return;
    }
    drop(id, true);
}

void HookServerWorker::drop(quint64 id, bool abort)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) {
        return;
    }
    releaseBuffer(it->second);
    if (it->second.waiting) {
        m_bufferedBytes -= it->second.waiting->bytes;
        countWaiting(-1);
    }
    QTcpSocket* socket = it->second.socket;
    const bool wasHeld = it->second.stage == Stage::Held;
    m_connections.erase(it);
    if (wasHeld) {
        m_closed(id);
        wakeOwner();
    }
    socket->disconnect(this);
    if (abort) {
        socket->abort();
    }
    dispose(socket);
    {
        const std::lock_guard lock(m_shared->mutex);
        --m_shared->activeConnections;
    }
}

void HookServerWorker::dispose(QTcpSocket* socket)
{
    // Not deleted here, in what may be its own signal. Those of one turn go together: each deleteLater() would wake
    // the event loop once more.
    if (m_disposed.empty()) {
        QMetaObject::invokeMethod(this, &HookServerWorker::deleteDisposed, Qt::QueuedConnection);
    }
    m_disposed.push_back(socket);
}

void HookServerWorker::deleteDisposed()
{
    for (QTcpSocket* done : std::exchange(m_disposed, {})) {
        delete done;
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
    for (RefusalLog* refusals : { &m_originRefusals, &m_connectionRefusals, &m_eventRefusals, &m_bearerRefusals }) {
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
