#include "tests/support/HostileHttpServer.h"

#include <algorithm>
#include <limits>

#include <QHostAddress>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

#include "tests/support/LoopbackTls.h"

namespace murmeli::test {

namespace {

// Enough queued bytes to keep a reading peer busy; more would only sit in this process's memory.
constexpr qint64 highWaterBytes = 256 * 1024;
constexpr qint64 pieceBytes = 64 * 1024;

QByteArray head(const MockHttpReply& reply)
{
    QByteArray wire = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n";
    for (const auto& [name, value] : reply.headers) {
        wire += name + ": " + value + "\r\n";
    }
    return wire;
}

} // namespace

HostileHttpServer::HostileHttpServer() = default;

HostileHttpServer::~HostileHttpServer()
{
    for (QTcpSocket* socket : m_sockets) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool HostileHttpServer::start()
{
    return listen(std::make_unique<QTcpServer>());
}

bool HostileHttpServer::startTls()
{
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(loopbackServerConfiguration());
    m_tls = true;
    return listen(std::move(server));
}

bool HostileHttpServer::listen(std::unique_ptr<QTcpServer> server)
{
    m_server = std::move(server);
    // A TLS connection is handed over once its handshake is done, which newConnection() does not wait for.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &HostileHttpServer::accept);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

QString HostileHttpServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_server ? m_server->serverPort() : 0);
}

int HostileHttpServer::openConnections() const
{
    return static_cast<int>(std::count_if(m_sockets.begin(), m_sockets.end(),
        [](const QTcpSocket* socket) { return socket->state() == QAbstractSocket::ConnectedState; }));
}

void HostileHttpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_sockets.push_back(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { ++m_closedByPeer; });
        read(socket);
    }
}

void HostileHttpServer::read(QTcpSocket* socket)
{
    // The request stays in the socket until all of it is there.
    const QByteArray pending = socket->peek(socket->bytesAvailable());
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0) {
        return;
    }
    std::optional<MockHttpRequest> request = parseMockRequestHead(pending.left(end));
    const qint64 length = request ? request->header("content-length").value_or("0").toLongLong() : 0;
    if (pending.size() < end + 4 + length) {
        return;
    }
    socket->read(end + 4 + length);
    if (request) {
        request->body = pending.mid(end + 4, length);
        m_requests.push_back(*request);
    }
    // As a proxy's far end: the tunnel opens here, and the request sent through it is read on the same connection.
    if (request && request->method == "CONNECT") {
        socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
        read(socket);
        return;
    }
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    answer(socket);
}

void HostileHttpServer::answer(QTcpSocket* socket)
{
    Feed& state = m_feeds[socket];
    state = Feed { m_script, m_script.bodyBytes, 0, 0 };
    const MockHttpReply& reply = state.script.reply;
    switch (state.script.act) {
    case Act::Answer:
        send(socket, formatMockReply(reply));
        socket->disconnectFromHost();
        return;
    case Act::LongBody:
        send(socket, head(reply) + "Content-Length: " + QByteArray::number(state.bodyLeft) + "\r\n\r\n");
        break;
    case Act::BodyToClose:
        send(socket, head(reply) + "\r\n");
        break;
    case Act::EndlessChunks:
        send(socket, head(reply) + "Transfer-Encoding: chunked\r\n\r\n");
        break;
    case Act::EndlessHeaders:
        send(socket, "HTTP/1.1 200 OK\r\n");
        break;
    }
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feed(socket); });
    feed(socket);
}

void HostileHttpServer::feed(QTcpSocket* socket)
{
    Feed& state = m_feeds[socket];
    while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < highWaterBytes) {
        const qint64 stall = state.script.stallAfterBytes;
        const qint64 room = stall < 0 ? std::numeric_limits<qint64>::max() : stall - state.sent;
        if (room <= 0) {
            return;
        }
        QByteArray piece;
        switch (state.script.act) {
        case Act::Answer:
            return;
        case Act::LongBody:
        case Act::BodyToClose:
            if (state.bodyLeft == 0) {
                if (state.script.act == Act::BodyToClose) {
                    socket->disconnectFromHost();
                }
                return;
            }
            piece = QByteArray(std::min({ state.bodyLeft, room, pieceBytes }), 'x');
            state.bodyLeft -= piece.size();
            break;
        case Act::EndlessChunks:
            piece = QByteArray::number(pieceBytes, 16) + "\r\n" + QByteArray(pieceBytes, 'x') + "\r\n";
            break;
        case Act::EndlessHeaders:
            while (piece.size() < pieceBytes) {
                piece += "X-Filler-" + QByteArray::number(state.sequence++) + ": " + QByteArray(40, 'y') + "\r\n";
            }
            break;
        }
        send(socket, piece.first(static_cast<qsizetype>(std::min<qint64>(piece.size(), room))));
    }
}

void HostileHttpServer::send(QTcpSocket* socket, const QByteArray& bytes)
{
    const qint64 written = socket->write(bytes);
    m_bytesSent += written;
    m_feeds[socket].sent += written;
}

} // namespace murmeli::test
