#include "main/hooks/server/HookServerWorker.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "main/hooks/server/HttpRequest.h"

namespace murmeli::hooks {

HookServerWorker::HookServerWorker(std::shared_ptr<HookServerShared> shared, HookServerOptions options,
    std::shared_ptr<common::Clock> clock, DeliverFn deliver, common::LogSink log, ClosedFn closed, WakeFn wake)
    : m_shared(std::move(shared)), m_options(options), m_clock(std::move(clock)), m_deliver(std::move(deliver)),
      m_log(std::move(log)), m_closed(std::move(closed)), m_wake(std::move(wake))
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
        const QString error = m_server->errorString();
        m_server->deleteLater();
        m_server = nullptr;
        m_shared->running = false;
        setListenerState(QStringLiteral("failed"));
        m_log(QStringLiteral("HookServer: failed — ") + error, common::LogColor::Red);
        wakeOwner();
        wakeOwner();
        return false;
    }
    m_paused = false;
    if (!m_sweepTimer) {
        m_sweepTimer = new QTimer(this);
        connect(m_sweepTimer, &QTimer::timeout, this, &HookServerWorker::sweep);
    }
    m_sweepTimer->start(static_cast<int>(std::clamp<qint64>(m_options.requestDeadlineMs / 4, 10, 1000)));
    m_shared->port = m_server->serverPort();
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
    wakeOwner();
    return true;
}

void HookServerWorker::stopListening()
{
    if (m_server) {
        m_server->close();
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
        const quint64 id = m_nextId++;
        socket->setReadBufferSize(http::readChunkBytes);
        m_connections.emplace(
            id, Connection { socket, {}, std::nullopt, nowMs() + m_options.requestDeadlineMs, Stage::Reading });
        {
            const std::lock_guard lock(m_shared->mutex);
            ++m_shared->activeConnections;
        }
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
    if (m_server && !m_paused && static_cast<int>(m_connections.size()) >= m_options.maxConnections) {
        m_server->pauseAccepting();
        m_paused = true;
    }
}

void HookServerWorker::readFrom(quint64 id)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) {
        return;
    }
    Connection& connection = it->second;
    if (connection.stage != Stage::Reading) {
        // One request per connection: anything after it is discarded, but reading on lets us notice the peer leave.
        connection.socket->skip(connection.socket->bytesAvailable());
        return;
    }
    const qsizetype before = connection.buffer.size();
    while (connection.socket->bytesAvailable() > 0) {
        connection.buffer += connection.socket->read(http::readChunkBytes);
        if (connection.buffer.size() > http::maxRequestBytes) {
            send(id, connection, 413, QByteArrayLiteral("Payload too large"));
            return;
        }
    }
    if (!connection.head) {
        // Only the new bytes, and the three before them that may start the blank line, can hold its end.
        if (connection.buffer.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3)) < 0) {
            return;
        }
        connection.head = http::parseHead(connection.buffer);
    }
    switch (http::framingOf(connection.buffer, *connection.head)) {
    case http::Framing::Incomplete:
        return;
    case http::Framing::TooLarge:
        send(id, connection, 413, QByteArrayLiteral("Payload too large"));
        return;
    case http::Framing::BadContentLength:
        send(id, connection, 400, QByteArrayLiteral("Bad request"));
        return;
    case http::Framing::Complete:
        process(id, connection, false);
        return;
    }
}

void HookServerWorker::process(quint64 id, Connection& connection, bool peerGone)
{
    std::optional<QString> secret;
    {
        const std::lock_guard lock(m_shared->mutex);
        secret = m_shared->secret;
    }
    // A peer that left before the blank line leaves its head unparsed until now.
    const http::RequestHead head
        = connection.head ? *std::exchange(connection.head, std::nullopt) : http::parseHead(connection.buffer);
    http::Verdict verdict = http::evaluate(connection.buffer, head, secret);
    connection.buffer.clear();
    if (const auto* reply = std::get_if<http::Reply>(&verdict)) {
        if (peerGone) {
            drop(id, false);
        } else {
            send(id, connection, reply->status, reply->body);
        }
        return;
    }
    auto delivery = std::get<http::Delivery>(std::move(verdict));
    {
        const std::lock_guard lock(m_shared->mutex);
        ++m_shared->totalEvents;
        m_shared->lastEventAtMs = nowMs();
    }
    bool held = false;
    {
        const std::lock_guard lock(m_shared->mutex);
        held = m_shared->heldEventNames.isEmpty() || m_shared->heldEventNames.contains(delivery.eventName);
    }
    const bool awaitsReply = m_shared->asyncReplies && !peerGone && held;
    m_deliver(id, std::move(delivery), awaitsReply);
    wakeOwner();
    wakeOwner();
    if (peerGone) {
        drop(id, false);
    } else if (awaitsReply) {
        connection.stage = Stage::Held;
    } else {
        send(id, connection, 200, http::okBody);
    }
}

void HookServerWorker::send(quint64 id, Connection& connection, int status, const QByteArray& body)
{
    if (status == 401) {
        const std::lock_guard lock(m_shared->mutex);
        ++m_shared->bearerRejects;
    }
    connection.stage = Stage::Closing;
    connection.deadlineMs = nowMs() + m_options.closeDeadlineMs;
    QTcpSocket* socket = connection.socket;
    socket->write(http::formatReply(status, body));
    // A reply of a few hundred bytes fits the socket's send buffer, so one flush hands it all to the kernel and
    // the connection can be finished at once; a reply that did not fit waits for the disconnected signal.
    socket->flush();
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

void HookServerWorker::reply(quint64 id, int status, const QByteArray& body)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end() || it->second.stage != Stage::Held) {
        return;
    }
    send(id, it->second, status, body);
}

void HookServerWorker::peerClosed(quint64 id)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) {
        return;
    }
    Connection& connection = it->second;
    if (connection.stage == Stage::Reading) {
        // The peer stopped sending: what arrived is processed, though no reply can reach it now.
        connection.buffer += connection.socket->readAll();
        if (!connection.buffer.isEmpty() && connection.buffer.size() <= http::maxRequestBytes) {
            process(id, connection, true);
            return;
        }
    }
    drop(id, false);
}

void HookServerWorker::readFailed(quint64 id)
{
    drop(id, true);
}

void HookServerWorker::drop(quint64 id, bool abort)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) {
        return;
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
    socket->deleteLater();
    {
        const std::lock_guard lock(m_shared->mutex);
        --m_shared->activeConnections;
    }
    if (m_paused && m_server && static_cast<int>(m_connections.size()) < m_options.maxConnections) {
        m_server->resumeAccepting();
        m_paused = false;
    }
}

void HookServerWorker::sweep()
{
    const qint64 now = nowMs();
    std::vector<quint64> expired;
    for (const auto& [id, connection] : m_connections) {
        if (connection.stage != Stage::Held && now >= connection.deadlineMs) {
            expired.push_back(id);
        }
    }
    for (const quint64 id : expired) {
        drop(id, true);
    }
}

} // namespace murmeli::hooks
