#include "tests/support/MockCloudWorker.h"

#include <utility>

#include <QCryptographicHash>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace murmeli::test {

namespace {

bool isUpgrade(const MockHttpRequest& request)
{
    return request.header("upgrade").value_or(QByteArray()).compare("websocket", Qt::CaseInsensitive) == 0;
}

QByteArray acceptKey(const QByteArray& key)
{
    static const QByteArray guid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    return QCryptographicHash::hash(key + guid, QCryptographicHash::Sha1).toBase64();
}

MockHttpReply plain(int status, const QByteArray& body)
{
    MockHttpReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

} // namespace

MockCloudWorker::MockCloudWorker()
{
    connect(&m_server, &QTcpServer::newConnection, this, &MockCloudWorker::accept);
}

MockCloudWorker::~MockCloudWorker()
{
    kill();
}

bool MockCloudWorker::start(quint16 port)
{
    if (m_server.isListening()) {
        return true;
    }
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        return false;
    }
    m_port = m_server.serverPort();
    return true;
}

void MockCloudWorker::kill()
{
    m_server.close();
    m_incoming.clear();
    for (auto& [path, connection] : m_connections) {
        connection->drop();
    }
    for (const QPointer<QTcpSocket>& socket : std::exchange(m_accepted, {})) {
        if (socket) {
            socket->abort();
        }
    }
}

QString MockCloudWorker::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void MockCloudWorker::registerHttpRoute(const QString& path, HttpHandler handler)
{
    m_httpRoutes[path] = std::move(handler);
}

void MockCloudWorker::registerWebSocketRoute(const QString& path, WebSocketHandler handler, UpgradeGate gate)
{
    m_socketRoutes[path] = { std::move(handler), std::move(gate) };
}

std::vector<MockWebSocketConnection*> MockCloudWorker::connections(const QString& path) const
{
    std::vector<MockWebSocketConnection*> found;
    for (const auto& [routePath, connection] : m_connections) {
        if (path.isEmpty() || routePath == path) {
            found.push_back(connection.get());
        }
    }
    return found;
}

int MockCloudWorker::openConnectionCount() const
{
    int open = 0;
    for (const auto& entry : m_connections) {
        open += entry.second->isOpen() ? 1 : 0;
    }
    return open;
}

void MockCloudWorker::accept()
{
    std::erase_if(m_accepted, [](const QPointer<QTcpSocket>& socket) { return socket.isNull(); });
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        m_accepted.emplace_back(socket);
        m_incoming[socket].socket = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readIncoming(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_incoming.erase(socket) > 0) {
                socket->deleteLater();
            }
        });
    }
}

void MockCloudWorker::readIncoming(QTcpSocket* socket)
{
    const auto it = m_incoming.find(socket);
    if (it == m_incoming.end()) {
        return;
    }
    Incoming& incoming = it->second;
    incoming.buffer += socket->readAll();
    if (!incoming.head) {
        const qsizetype end = incoming.buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (incoming.buffer.size() > maxHeadBytes) {
                reply(socket, plain(431, "head too large"));
            }
            return;
        }
        incoming.head = parseMockRequestHead(incoming.buffer.left(end));
        if (!incoming.head) {
            reply(socket, plain(400, "malformed request"));
            return;
        }
        incoming.bodyStart = end + 4;
        if (isUpgrade(*incoming.head)) {
            const MockHttpRequest request = *incoming.head;
            const QByteArray leftover = incoming.buffer.mid(incoming.bodyStart);
            disconnect(socket, nullptr, this, nullptr);
            m_incoming.erase(it);
            answerUpgrade(socket, request, leftover);
            return;
        }
        if (incoming.head->header("transfer-encoding")) {
            reply(socket, plain(501, "chunked bodies are not read by the mock"));
            return;
        }
        bool ok = true;
        const QByteArray length = incoming.head->header("content-length").value_or("0");
        incoming.bodyLength = length.toLongLong(&ok);
        if (!ok || incoming.bodyLength < 0 || incoming.bodyLength > maxBodyBytes) {
            reply(socket, plain(413, "body too large"));
            return;
        }
    }
    if (incoming.buffer.size() < incoming.bodyStart + incoming.bodyLength) {
        return;
    }
    MockHttpRequest request = *incoming.head;
    request.body = incoming.buffer.mid(incoming.bodyStart, incoming.bodyLength);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    answerHttp(socket, request);
}

void MockCloudWorker::answerHttp(QTcpSocket* socket, const MockHttpRequest& request)
{
    m_requests.push_back(request);
    const auto route = m_httpRoutes.find(request.path);
    reply(socket, route == m_httpRoutes.end() ? plain(404, "no such route") : route->second(request));
}

void MockCloudWorker::answerUpgrade(QTcpSocket* socket, const MockHttpRequest& request, const QByteArray& leftover)
{
    m_requests.push_back(request);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    const auto route = m_socketRoutes.find(request.path);
    if (route == m_socketRoutes.end()) {
        reply(socket, plain(404, "no such route"));
        return;
    }
    if (route->second.gate) {
        if (const std::optional<MockHttpReply> refusal = route->second.gate(request)) {
            reply(socket, *refusal);
            return;
        }
    }
    if (!request.header("sec-websocket-key") || request.header("sec-websocket-version") != QByteArray("13")) {
        reply(socket, plain(400, "not a WebSocket opening request"));
        return;
    }
    if (m_stallUpgrades) {
        return;
    }
    if (m_upgradeDelayMs > 0) {
        const QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(m_upgradeDelayMs, this, [this, guarded, request, leftover] {
            if (guarded && guarded->state() == QAbstractSocket::ConnectedState) {
                openConnection(guarded, request, leftover);
            }
        });
        return;
    }
    openConnection(socket, request, leftover);
}

void MockCloudWorker::openConnection(QTcpSocket* socket, const MockHttpRequest& request, const QByteArray& leftover)
{
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: "
        + acceptKey(*request.header("sec-websocket-key")) + "\r\n\r\n");
    auto connection = std::make_unique<MockWebSocketConnection>(socket, request);
    MockWebSocketConnection& opened = *connection;
    m_connections.emplace_back(request.path, std::move(connection));
    if (const auto route = m_socketRoutes.find(request.path); route != m_socketRoutes.end() && route->second.handler) {
        route->second.handler(opened);
    }
    opened.process(leftover);
}

void MockCloudWorker::reply(QTcpSocket* socket, const MockHttpReply& answer)
{
    m_incoming.erase(socket);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater, Qt::UniqueConnection);
    const QPointer<QTcpSocket> guarded(socket);
    auto write = [guarded, answer] {
        if (!guarded) {
            return;
        }
        if (answer.dropConnection) {
            guarded->abort();
            return;
        }
        guarded->write(formatMockReply(answer));
        guarded->disconnectFromHost();
    };
    if (answer.delayMs > 0) {
        QTimer::singleShot(answer.delayMs, this, write);
    } else {
        write();
    }
}

} // namespace murmeli::test
