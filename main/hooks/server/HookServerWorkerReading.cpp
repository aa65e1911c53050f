// The worker's reading of a request and its framing, and the hand-over of a whole one to the owner's thread.
#include "main/hooks/server/HookServerWorker.h"

#include <QRegularExpression>
#include <QTcpSocket>

#include "main/hooks/server/HttpRequest.h"

namespace murmeli::hooks {

namespace {

// Heads are a few hundred bytes; anything larger is read on in steps of this size.
constexpr qsizetype headChunkBytes = 4096;

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
            connection.proven
                = http::bearerMatches(*connection.head, m_shared->acceptedSecrets()) && !unheard(connection);
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
    const auto answer = [&](int status, const QByteArray& body, bool lingering) {
        if (peerGone) {
            drop(id, false);
        } else {
            send(id, connection, status, body, lingering);
        }
    };
    // Whatever it asks: another user's request is not looked at, so nothing in it can reach a session.
    if (unheard(connection)) {
        noteRefusal(m_otherUsers, QString::number(connection.uid));
        answer(403, http::forbiddenBody, true);
        return;
    }
    http::Verdict verdict = http::evaluate(connection.buffer, head, m_shared->acceptedSecrets(), m_shared->port);
    releaseBuffer(connection);
    if (const auto* reply = std::get_if<http::Reply>(&verdict)) {
        // The counts are of replies sent.
        if (!peerGone && (reply->status == 401 || reply->status == 403)) {
            const std::lock_guard lock(m_shared->mutex);
            ++(reply->status == 401 ? m_shared->bearerRejects : m_shared->originRejects);
        }
        if (reply->status == 401) {
            // The hook goes on being refused, event after event, until the user acts; only the log can say so.
            noteRefusal(m_bearerRefusals, senderOf(head));
        } else if (reply->status == 403) {
            noteRefusal(m_originRefusals);
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
    // The owner's thread takes nothing more, so it would never make room: the request gets its answer here.
    if (awaits && m_heldAnswer) {
        send(id, connection, 200, *m_heldAnswer, trailing);
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
    } else if (awaitsReply && !m_heldAnswer) {
        connection.stage = Stage::Held;
    } else {
        send(id, connection, 200, awaitsReply ? *m_heldAnswer : http::okBody, trailing);
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

} // namespace murmeli::hooks
