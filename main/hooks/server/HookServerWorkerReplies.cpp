// The worker's replies and the end of each connection.
#include "main/hooks/server/HookServerWorker.h"

#include <algorithm>
#include <cerrno>

#include <QTcpSocket>

#include <sys/socket.h>

#include "main/hooks/server/HttpRequest.h"

namespace murmeli::hooks {

namespace {

constexpr qint64 lingerReadBytes = 4096;

} // namespace

void HookServerWorker::send(quint64 id, Connection& connection, int status, const QByteArray& body, bool lingering)
{
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

void HookServerWorker::answerHeldAtOnce(const QByteArray& body)
{
    m_heldAnswer = body;
    std::vector<quint64> held;
    for (const auto& [id, connection] : m_connections) {
        if (connection.stage == Stage::Held
            || (connection.stage == Stage::Waiting && awaitsReply(connection, connection.waiting->held))) {
            held.push_back(id);
        }
    }
    for (const quint64 id : held) {
        Connection& connection = m_connections.at(id);
        bool trailing = false;
        if (connection.waiting) {
            // Never to be handed over now: its place in the hand-over's queue is skipped.
            trailing = connection.waiting->trailing;
            m_bufferedBytes -= std::exchange(connection.waiting, std::nullopt)->bytes;
            countWaiting(-1);
        }
        send(id, connection, 200, body, trailing);
    }
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

} // namespace murmeli::hooks
