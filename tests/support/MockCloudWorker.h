#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

#include "tests/support/MockHttpMessage.h"
#include "tests/support/MockWebSocketConnection.h"

class QTcpSocket;

namespace murmeli::test {

/// A stand-in for the cloud speech worker on 127.0.0.1: one port that answers plain HTTP routes and takes
/// WebSocket upgrades. Each route lives in its own file and registers here; the worker records every request and
/// keeps every connection (ended ones too) so tests can look at what arrived.
class MockCloudWorker final : public QObject {
    Q_OBJECT

public:
    using HttpHandler = std::function<MockHttpReply(const MockHttpRequest& request)>;
    /// Whether an upgrade is taken: nullopt takes it; a reply refuses it with that answer.
    using UpgradeGate = std::function<std::optional<MockHttpReply>(const MockHttpRequest& request)>;
    /// Sets up a newly opened connection (its callbacks); frames are read only after it returns.
    using WebSocketHandler = std::function<void(MockWebSocketConnection& connection)>;

    static constexpr qsizetype maxHeadBytes = 64 * 1024;
    static constexpr qsizetype maxBodyBytes = 64 * 1024 * 1024;

    MockCloudWorker();
    ~MockCloudWorker() override;
    Q_DISABLE_COPY_MOVE(MockCloudWorker)

    /// Listens on 127.0.0.1; port 0 picks a free one. A worker that was killed may start again on its old port.
    bool start(quint16 port = 0);
    /// Stops listening and drops every connection without a close frame, as a worker that dies does.
    void kill();
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_port; }
    /// "http://127.0.0.1:<port>", the worker address a client is given.
    QString baseUrl() const;

    void registerHttpRoute(const QString& path, HttpHandler handler);
    void registerWebSocketRoute(const QString& path, WebSocketHandler handler, UpgradeGate gate = {});

    /// On: upgrade requests are read and recorded but never answered, so the client's handshake times out.
    void setStallUpgrades(bool stall) { m_stallUpgrades = stall; }
    /// An accepted upgrade is answered this long after it was read.
    void setUpgradeDelayMs(int ms) { m_upgradeDelayMs = ms; }

    /// Every request read, HTTP and upgrades alike, in arrival order.
    const std::vector<MockHttpRequest>& requests() const { return m_requests; }
    /// The accepted WebSocket connections on path (every path when empty), oldest first, ended ones included.
    std::vector<MockWebSocketConnection*> connections(const QString& path = {}) const;
    int openConnectionCount() const;

private:
    struct Incoming {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        std::optional<MockHttpRequest> head;
        qsizetype bodyStart = 0;
        qsizetype bodyLength = 0;
    };
    struct SocketRoute {
        WebSocketHandler handler;
        UpgradeGate gate;
    };

    void accept();
    void readIncoming(QTcpSocket* socket);
    void answerHttp(QTcpSocket* socket, const MockHttpRequest& request);
    void answerUpgrade(QTcpSocket* socket, const MockHttpRequest& request, const QByteArray& leftover);
    void openConnection(QTcpSocket* socket, const MockHttpRequest& request, const QByteArray& leftover);
    void reply(QTcpSocket* socket, const MockHttpReply& reply);

    QTcpServer m_server;
    quint16 m_port = 0;
    std::map<QString, HttpHandler> m_httpRoutes;
    std::map<QString, SocketRoute> m_socketRoutes;
    std::map<QTcpSocket*, Incoming> m_incoming; // connections whose request is still being read
    std::vector<QPointer<QTcpSocket>> m_accepted; // every connection accepted, for kill()
    std::vector<MockHttpRequest> m_requests;
    std::vector<std::pair<QString, std::unique_ptr<MockWebSocketConnection>>> m_connections;
    bool m_stallUpgrades = false;
    int m_upgradeDelayMs = 0;
};

} // namespace murmeli::test
