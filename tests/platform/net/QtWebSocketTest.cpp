#include "platform/net/qt/QtWebSocket.h"

#include <memory>
#include <optional>

#include <QHostAddress>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include "platform/net/NetworkSessionFactory.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::MockCloudWorker;
using test::MockWebSocketConnection;
using test::waitUntil;

/// What one socket told its owner.
struct Heard {
    QStringList texts;
    QList<QByteArray> binaries;
    QStringList failures;
    bool opened = false;
    bool closed = false;

    void listen(WebSocket& socket)
    {
        QObject::connect(&socket, &WebSocket::opened, &socket, [this] { opened = true; });
        QObject::connect(&socket, &WebSocket::textReceived, &socket, [this](const QString& t) { texts.append(t); });
        QObject::connect(
            &socket, &WebSocket::binaryReceived, &socket, [this](const QByteArray& b) { binaries.append(b); });
        QObject::connect(&socket, &WebSocket::failed, &socket, [this](const QString& e) { failures.append(e); });
        QObject::connect(&socket, &WebSocket::stateChanged, &socket,
            [this](WebSocket::State state) { closed = closed || state == WebSocket::State::Closed; });
    }
};

class QtWebSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_worker.registerWebSocketRoute(QStringLiteral("/echo"), [](MockWebSocketConnection& connection) {
            auto* peer = &connection;
            connection.onText = [peer](const QString& text) { peer->sendText(QStringLiteral("echo:") + text); };
            connection.onBinary = [peer](const QByteArray& data) { peer->sendBinary(data); };
        });
        ASSERT_TRUE(m_worker.start());
    }

    std::unique_ptr<WebSocket> open(int handshakeTimeoutMs = 0, const QString& path = QStringLiteral("/echo"))
    {
        WebSocketRequest request;
        request.url = QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(m_worker.port()).arg(path));
        request.headers.append(std::pair<QByteArray, QByteArray>("Authorization", "Bearer secret-token"));
        request.handshakeTimeoutMs = handshakeTimeoutMs;
        auto socket = m_session->openWebSocket(request);
        m_heard.listen(*socket);
        return socket;
    }

    MockCloudWorker m_worker;
    std::shared_ptr<NetworkSession> m_session = makeNetworkSession(QNetworkProxy(QNetworkProxy::NoProxy));
    Heard m_heard;
};

TEST_F(QtWebSocketTest, SendsWaitForTheHandshakeThenTravelInOrderWithTheHeader)
{
    auto socket = open();
    QStringList outcomes;
    socket->sendText(QStringLiteral("first"), [&](const QString& e) { outcomes.append(QStringLiteral("text:") + e); });
    socket->sendBinary(QByteArray(3200, 'x'), [&](const QString& e) { outcomes.append(QStringLiteral("bin:") + e); });
    socket->ping([&](const QString& e) { outcomes.append(QStringLiteral("pong:") + e); });
    EXPECT_EQ(socket->state(), WebSocket::State::Connecting);

    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 3 && m_heard.texts.size() == 1; }));
    EXPECT_TRUE(m_heard.opened);
    EXPECT_EQ(outcomes, QStringList({ "text:", "bin:", "pong:" }));
    EXPECT_EQ(m_heard.texts, QStringList { "echo:first" });
    ASSERT_TRUE(waitUntil([&] { return m_heard.binaries.size() == 1; }));
    EXPECT_EQ(m_heard.binaries.front().size(), 3200);

    const auto connections = m_worker.connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0]->request().bearerToken(), QStringLiteral("secret-token"));
    const auto& frames = connections[0]->received();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].kind, MockWebSocketConnection::Frame::Kind::Text);
    EXPECT_EQ(frames[1].kind, MockWebSocketConnection::Frame::Kind::Binary);
    EXPECT_EQ(frames[2].kind, MockWebSocketConnection::Frame::Kind::Ping);
    EXPECT_TRUE(connections[0]->protocolErrors().isEmpty());
}

TEST_F(QtWebSocketTest, CloseSendsItsCodeAndReportsNoFailure)
{
    auto socket = open();
    ASSERT_TRUE(waitUntil([&] { return m_heard.opened; }));
    socket->close(1000);
    ASSERT_TRUE(waitUntil([&] { return m_worker.connections()[0]->clientCloseCode().has_value(); }));
    EXPECT_EQ(*m_worker.connections()[0]->clientCloseCode(), 1000);
    ASSERT_TRUE(waitUntil([&] { return m_heard.closed; }));
    EXPECT_TRUE(m_heard.failures.isEmpty());

    QString late;
    socket->sendText(QStringLiteral("too late"), [&](const QString& e) { late = e; });
    ASSERT_TRUE(waitUntil([&] { return !late.isEmpty(); }));
}

TEST_F(QtWebSocketTest, ReleasedAfterCloseStillFinishesTheClosingHandshake)
{
    auto socket = open();
    ASSERT_TRUE(waitUntil([&] { return m_heard.opened; }));
    socket->close(1000);
    socket.reset();
    ASSERT_TRUE(waitUntil([&] { return m_worker.connections()[0]->clientCloseCode() == 1000; }));
}

TEST_F(QtWebSocketTest, FailuresReachTheOwnerAndWhatWaits)
{
    struct Case {
        const char* name;
        std::function<void(MockCloudWorker&)> arrange;
        QString path;
        int handshakeTimeoutMs;
        QString failure; // the start of the failure text
    };
    const std::vector<Case> cases = {
        { "refused upgrade",
            [](MockCloudWorker& worker) {
                worker.registerWebSocketRoute(QStringLiteral("/locked"), {},
                    [](const test::MockHttpRequest&) -> std::optional<test::MockHttpReply> {
                        return test::MockHttpReply::json(401, {});
                    });
            },
            QStringLiteral("/locked"), 0, QStringLiteral("The server refused the WebSocket upgrade: HTTP 401") },
        { "handshake never answered", [](MockCloudWorker& worker) { worker.setStallUpgrades(true); },
            QStringLiteral("/echo"), 150, QStringLiteral("The WebSocket handshake did not finish within 150 ms") },
        { "worker gone before the handshake", [](MockCloudWorker& worker) { worker.kill(); }, QStringLiteral("/echo"),
            0, QStringLiteral("Connection refused") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MockCloudWorker worker;
        ASSERT_TRUE(worker.start());
        worker.registerWebSocketRoute(QStringLiteral("/echo"), {});
        const quint16 port = worker.port();
        c.arrange(worker);
        Heard heard;
        WebSocketRequest request;
        request.url = QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(c.path));
        request.handshakeTimeoutMs = c.handshakeTimeoutMs;
        auto socket = m_session->openWebSocket(request);
        heard.listen(*socket);
        QString sendOutcome;
        socket->sendText(QStringLiteral("init"), [&](const QString& e) { sendOutcome = e; });

        ASSERT_TRUE(waitUntil([&] { return heard.closed && !sendOutcome.isEmpty(); }));
        ASSERT_EQ(heard.failures.size(), 1);
        EXPECT_TRUE(heard.failures[0].startsWith(c.failure)) << heard.failures[0].toStdString();
        EXPECT_FALSE(heard.opened);
        EXPECT_EQ(socket->errorString(), heard.failures[0]);
        EXPECT_EQ(sendOutcome, heard.failures[0]);
    }
}

TEST_F(QtWebSocketTest, AWorkerThatDiesFailsTheConnectionAndItsPing)
{
    auto socket = open();
    ASSERT_TRUE(waitUntil([&] { return m_heard.opened; }));
    m_worker.connections()[0]->setAnswerPings(false);
    QString pingOutcome;
    socket->ping([&](const QString& e) { pingOutcome = e; });
    ASSERT_TRUE(waitUntil([&] { return m_worker.connections()[0]->pingCount() == 1; }));
    m_worker.kill();
    ASSERT_TRUE(waitUntil([&] { return m_heard.closed && !pingOutcome.isEmpty(); }));
    ASSERT_EQ(m_heard.failures.size(), 1);
    EXPECT_EQ(pingOutcome, m_heard.failures[0]);
}

TEST_F(QtWebSocketTest, AServerThatSendsTooMuchIsCutOffWithMemoryBounded)
{
    using Flood = MockWebSocketConnection::Flood;
    struct Case {
        const char* name;
        Flood flood;
        QString failure; // the start of the failure text
    };
    const QString tooLarge = QStringLiteral(
        "murmeli closed the connection because the server sent too much: a message over 4 MiB (close code 1009");
    const std::vector<Case> cases = {
        { "one 1.5 GiB message", Flood::OversizeMessage, tooLarge },
        { "a message that never ends", Flood::EndlessMessage, tooLarge },
        { "pings whose pongs it never reads", Flood::Pings,
            QStringLiteral("murmeli dropped the connection because the server does not read: more than 4 MiB waited "
                           "to be written to it") },
    };
    constexpr qint64 memoryBound = 64 * 1024 * 1024;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_worker.registerWebSocketRoute(QStringLiteral("/hostile"),
            [flood = c.flood](MockWebSocketConnection& connection) { connection.startFlood(flood); });
        test::ResidentGrowth memory;
        Heard heard;
        WebSocketRequest request;
        request.url = QUrl(QStringLiteral("ws://127.0.0.1:%1/hostile").arg(m_worker.port()));
        auto socket = m_session->openWebSocket(request);
        heard.listen(*socket);

        // Stops early once memory is past the bound, so that a fault fails here instead of exhausting the machine.
        ASSERT_TRUE(waitUntil(
            [&] {
                memory.note();
                return heard.closed || memory.peakGrowth() > memoryBound;
            },
            20000));
        ASSERT_LT(memory.peakGrowth(), memoryBound);
        ASSERT_EQ(heard.failures.size(), 1);
        EXPECT_TRUE(heard.failures[0].startsWith(c.failure)) << heard.failures[0].toStdString();
        EXPECT_TRUE(socket->endedForExcess());
        EXPECT_TRUE(heard.texts.isEmpty());
        socket.reset();
        ASSERT_TRUE(waitUntil([&] { return m_worker.openConnectionCount() == 0; }));
    }
}

TEST_F(QtWebSocketTest, AProxiedSessionOpensItsSocketsThroughTheProxy)
{
    // A CONNECT proxy that relays bytes both ways and remembers what it was asked for.
    QTcpServer proxy;
    ASSERT_TRUE(proxy.listen(QHostAddress::LocalHost));
    QList<QByteArray> connectLines;
    QObject::connect(&proxy, &QTcpServer::newConnection, &proxy, [&] {
        QTcpSocket* client = proxy.nextPendingConnection();
        auto* upstream = new QTcpSocket(client);
        auto head = std::make_shared<QByteArray>();
        QObject::connect(client, &QTcpSocket::readyRead, client, [&connectLines, client, upstream, head] {
            if (upstream->state() == QAbstractSocket::ConnectedState) {
                upstream->write(client->readAll());
                return;
            }
            *head += client->readAll();
            if (!head->contains("\r\n\r\n")) {
                return;
            }
            const QByteArray line = head->left(head->indexOf("\r\n"));
            connectLines.append(line);
            const QList<QByteArray> target = line.split(' ').value(1).split(':');
            upstream->connectToHost(QString::fromLatin1(target.value(0)), target.value(1).toUShort());
            QObject::connect(upstream, &QTcpSocket::connected, client, [client, upstream, head] {
                client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                upstream->write(head->mid(head->indexOf("\r\n\r\n") + 4));
            });
            QObject::connect(
                upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
        });
    });

    m_session
        = makeNetworkSession(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), proxy.serverPort()));
    auto socket = open();
    socket->sendText(QStringLiteral("through"));
    ASSERT_TRUE(waitUntil([&] { return m_heard.texts.size() == 1; }));
    EXPECT_EQ(m_heard.texts[0], QStringLiteral("echo:through"));
    ASSERT_EQ(connectLines.size(), 1);
    EXPECT_TRUE(connectLines[0].startsWith("CONNECT 127.0.0.1:" + QByteArray::number(m_worker.port())));
}

} // namespace
} // namespace murmeli::platform
