// The worker's slots and the room in them: taking connections from the listener, and closing those that have not
// shown the secret when the limits are reached.
#include "main/hooks/server/HookServerWorker.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

#include "main/hooks/server/HttpRequest.h"

namespace murmeli::hooks {

namespace {

// One attempt, straight to the kernel: a connection closed for being too many costs no buffer, and a client that
// cannot take the reply gets the close.
void sendBusy(QTcpSocket* socket)
{
    static const QByteArray reply = http::formatReply(503, http::busyBody);
    ::send(static_cast<int>(socket->socketDescriptor()), reply.constData(), static_cast<std::size_t>(reply.size()),
        MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

void HookServerWorker::acceptPending()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        // The worker's own, not the listener's: connections outlive a listener that is stopped or replaced.
        socket->setParent(this);
        // Connections past the limits, where no room can be made, are taken from the kernel and closed at once: left
        // in its queue they would pile up there without bound and be served long after their clients gave up.
        Owner owner = Owner::Unasked;
        uint uid = 0;
        const auto ownNewcomer = [&] {
            if (owner == Owner::Unasked) {
                owner = ownerOf(socket, uid);
            }
            return owner == Owner::Own;
        };
        // Where whose it is decides whether it is heard, the system is asked now, while the client surely still holds
        // its end: once that end is closed, the system no longer tells.
        if (m_shared->acceptedSecrets().isEmpty()) {
            ownNewcomer();
        }
        if (!makeRoom(1, http::maxRequestBytes, ownNewcomer)) {
            refuse(socket);
            continue;
        }
        const quint64 id = m_nextId++;
        socket->setReadBufferSize(http::readChunkBytes);
        Connection& connection = m_connections[id];
        connection.socket = socket;
        connection.owner = owner;
        connection.uid = uid;
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
    // of the user's always gets in, and is not closed while it still looks at who listens before it sends a byte. One
    // whose owner the system does not tell may be the user's: it is closed only for one known to be the user's.
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
                return closable && !(othersOnly && ownerOf(connection) != Owner::Other);
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

void HookServerWorker::closeOthersUnproven()
{
    std::vector<quint64> others;
    for (auto& [id, connection] : m_connections) {
        if (connection.stage == Stage::Reading && !connection.proven && ownerOf(connection) == Owner::Other) {
            others.push_back(id);
        }
    }
    for (const quint64 id : others) {
        sendBusy(m_connections.at(id).socket);
        drop(id, true);
    }
}

HookServerWorker::Owner HookServerWorker::ownerOf(QTcpSocket* socket, uint& uid)
{
    const std::optional<uint> told
        = m_options.peerUid ? m_options.peerUid(socket->socketDescriptor()) : std::optional<uint>();
    if (!told) {
        noteRefusal(m_ownerUnknown);
        return Owner::Unknown;
    }
    uid = *told;
    return uid == ::geteuid() ? Owner::Own : Owner::Other;
}

HookServerWorker::Owner HookServerWorker::ownerOf(Connection& connection)
{
    if (connection.owner == Owner::Unasked) {
        connection.owner = ownerOf(connection.socket, connection.uid);
    }
    return connection.owner;
}

bool HookServerWorker::unheard(Connection& connection)
{
    return m_shared->acceptedSecrets().isEmpty() && ownerOf(connection) == Owner::Other;
}

bool HookServerWorker::fits(int connections, qsizetype bytes) const
{
    return static_cast<int>(m_connections.size()) + connections <= m_options.maxConnections
        && m_bufferedBytes + bytes <= m_options.maxBufferedBytes;
}

} // namespace murmeli::hooks
