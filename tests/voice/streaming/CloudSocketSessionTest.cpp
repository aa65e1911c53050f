#include "main/voice/streaming/CloudSocketSession.h"

#include <memory>
#include <vector>

#include <QCoroTask>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/net/NetworkSessionFactory.h"
#include "platform/net/fake/FakeNetworkSession.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {
namespace {

using platform::FakeNetworkSession;

QCoro::Task<> runConnectionTest(CloudSocketSession& session, std::optional<std::optional<QString>>& result)
{
    result = co_await session.testConnection();
}

class CloudSocketSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<CloudSocketSession> makeSession(CloudSocketSession::SessionFactory factory)
    {
        auto session = std::make_unique<CloudSocketSession>(
            m_defaults, m_clock, [this] { return m_inputs; }, std::move(factory));
        session->onLog = [this](const QString& message, common::LogColor color) {
            EXPECT_EQ(color, common::LogColor::Orange);
            logs.append(message);
        };
        return session;
    }

    /// Network sessions that record the proxy each was made for.
    CloudSocketSession::SessionFactory recordingFactory()
    {
        return [this](const QNetworkProxy& proxy) {
            auto session = std::make_shared<FakeNetworkSession>(proxy);
            m_made.push_back(session);
            return session;
        };
    }

    QTemporaryDir m_dir;
    platform::Defaults m_defaults { m_dir.filePath(QStringLiteral("defaults.json")) };
    test::FakeClock m_clock;
    StreamingInputs m_inputs { QStringLiteral("cloud-streaming"), QStringLiteral("tok"),
        QStringLiteral("https://api.murmeli.example") };
    std::vector<std::shared_ptr<FakeNetworkSession>> m_made;
    QStringList logs;
};

TEST_F(CloudSocketSessionTest, TheProxyIsCheckedStoredAndGivesEverySocketOneSession)
{
    auto session = makeSession(recordingFactory());
    EXPECT_EQ(session->setProxy(QStringLiteral("http://proxy"), 8080),
        QStringLiteral("Proxy host must not include a scheme such as \"http://\"; enter the host name only"));
    EXPECT_FALSE(m_defaults.contains(QString::fromLatin1(CloudSocketSession::proxyHostKey)));

    const auto direct = session->wsSession();
    EXPECT_EQ(direct, session->wsSession());
    EXPECT_EQ(direct->proxy().type(), QNetworkProxy::NoProxy);

    EXPECT_EQ(session->setProxy(QStringLiteral("127.0.0.1"), 10080), std::nullopt);
    EXPECT_EQ(m_defaults.stringValue(QStringLiteral("wsProxyHost")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(m_defaults.intValue(QStringLiteral("wsProxyPort")), 10080);
    const auto proxied = session->wsSession();
    EXPECT_EQ(proxied->proxy(), QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 10080));
    EXPECT_EQ(proxied, session->wsSession());

    ASSERT_EQ(session->setProxy(QStringLiteral("127.0.0.1"), 10081), std::nullopt);
    const auto changed = session->wsSession();
    EXPECT_NE(changed, proxied);
    EXPECT_EQ(changed->proxy().port(), 10081);

    session->clearProxy();
    EXPECT_EQ(session->wsSession(), direct);
    EXPECT_EQ(m_defaults.stringValue(QStringLiteral("wsProxyHost")), QString());
    EXPECT_EQ(m_defaults.intValue(QStringLiteral("wsProxyPort")), 0);
    EXPECT_EQ(m_made.size(), 3u);
}

TEST_F(CloudSocketSessionTest, AStoredProxyIsUsedOnlyWhenItPassesTheCheck)
{
    struct Case {
        QJsonValue host, port;
        bool proxied;
        QString log;
    };
    const std::vector<Case> cases = {
        { "proxy.corp", 3128, true, {} },
        { "proxy.corp", 0, false, {} },
        { "", 3128, false, {} },
        { QJsonValue(), QJsonValue(), false, {} },
        { "proxy.corp", 70000, false,
            "WS Proxy setting ignored, connecting direct: Proxy port must be between 1 and 65535, not 70000" },
        { "proxy corp", 3128, false,
            "WS Proxy setting ignored, connecting direct: Proxy host must not contain spaces or control characters" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host.toString().toStdString() + ":" + std::to_string(c.port.toInteger()));
        m_defaults.setValue(QStringLiteral("wsProxyHost"), c.host);
        m_defaults.setValue(QStringLiteral("wsProxyPort"), c.port);
        logs.clear();
        auto session = makeSession(recordingFactory());
        session->loadProxySettings();
        EXPECT_EQ(session->hasProxy(), c.proxied);
        EXPECT_EQ(session->wsSession()->proxy().type(), c.proxied ? QNetworkProxy::HttpProxy : QNetworkProxy::NoProxy);
        EXPECT_EQ(logs.value(0), c.log);
    }
}

TEST_F(CloudSocketSessionTest, TheStreamingConfigurationNeedsTheStreamingBackendATokenAndAnAddress)
{
    struct Case {
        StreamingInputs inputs;
        std::optional<QString> url;
    };
    const std::vector<Case> cases = {
        { { "cloud-streaming", "tok", "https://api.example" }, "wss://api.example/ws/transcribe" },
        { { "cloud-streaming", "tok", "http://127.0.0.1:8787" }, "ws://127.0.0.1:8787/ws/transcribe" },
        { { "murmeli-cloud", "tok", "https://api.example" }, std::nullopt },
        { { "apple-stt", "tok", "https://api.example" }, std::nullopt },
        { { "cloud-streaming", "", "https://api.example" }, std::nullopt },
        { { "cloud-streaming", "tok", "not an address" }, std::nullopt },
    };
    auto session = makeSession(recordingFactory());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputs.effectiveBackendId.toStdString() + " " + c.inputs.cloudWorkerUrl.toStdString());
        m_inputs = c.inputs;
        const std::optional<StreamingConfig> config = session->streamingConfig();
        EXPECT_EQ(session->canStreamingRecord(), c.url.has_value());
        if (c.url) {
            ASSERT_TRUE(config);
            EXPECT_EQ(*config, (StreamingConfig { QUrl(*c.url), "tok", "paraformer-realtime-v2" }));
        }
        session->preconnectIfNeeded();
        EXPECT_EQ(session->takePreconnected() != nullptr, c.url.has_value());
    }
}

TEST_F(CloudSocketSessionTest, APreconnectedSocketIsHandedOverOnlyWhileFresh)
{
    auto session = makeSession(recordingFactory());
    session->preconnectIfNeeded();
    session->preconnectIfNeeded();
    FakeNetworkSession& net = *m_made.front();
    ASSERT_EQ(net.openCount(), 2);
    EXPECT_EQ(net.sockets()[0]->closeCode(), 1000);
    const platform::WebSocketRequest& request = net.sockets()[1]->request();
    EXPECT_EQ(request.url.toString(), QStringLiteral("wss://api.murmeli.example/ws/transcribe"));
    EXPECT_EQ(request.headers.value(0).second, QByteArray("Bearer tok"));
    EXPECT_EQ(request.handshakeTimeoutMs, 30000);
    EXPECT_TRUE(net.sockets()[1]->sent().empty());

    m_clock.advance(9900);
    std::unique_ptr<platform::WebSocket> taken = session->takePreconnected();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->state(), platform::WebSocket::State::Connecting);
    EXPECT_EQ(session->takePreconnected(), nullptr);

    session->preconnectIfNeeded();
    m_clock.advance(10000);
    EXPECT_EQ(session->takePreconnected(), nullptr);
    EXPECT_EQ(net.sockets()[2]->closeCode(), 1000);
}

TEST_F(CloudSocketSessionTest, TheConnectionTestAgainstTheWorker)
{
    struct Case {
        const char* name;
        QString token;
        bool stall;
        std::optional<QString> expected;
    };
    const std::vector<Case> cases = {
        { "pong comes back", "tok", false, std::nullopt },
        { "bearer refused", "tok-expired", false,
            "WS failed: The server refused the WebSocket upgrade: HTTP 401 Unauthorized" },
        { "handshake never answered", "tok", true, "WS failed: The connection test timed out after 8 s" },
        { "no streaming configuration", "", false, "No streaming backend configured (need cloud token or Aliyun key)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::MockCloudWorker worker;
        worker.registerWebSocketRoute(QString::fromLatin1(CloudSocketSession::streamingPath), {},
            [](const test::MockHttpRequest& request) -> std::optional<test::MockHttpReply> {
                if (request.bearerToken() != QLatin1String("tok")) {
                    return test::MockHttpReply::json(401, { { "error", "unauthorized" } });
                }
                return std::nullopt;
            });
        ASSERT_TRUE(worker.start());
        worker.setStallUpgrades(c.stall);
        m_inputs = { "cloud-streaming", c.token, worker.baseUrl() };
        auto session = makeSession({});

        std::optional<std::optional<QString>> result;
        auto running = runConnectionTest(*session, result);
        if (c.stall) {
            ASSERT_TRUE(test::waitUntil([&] { return worker.requests().size() == 1; }));
            m_clock.advance(8000);
        }
        ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }));
        EXPECT_EQ(*result, c.expected);
        if (c.token.isEmpty()) {
            EXPECT_TRUE(worker.requests().empty());
        }
        if (!c.expected) {
            auto* connection = worker.connections().at(0);
            EXPECT_EQ(connection->pingCount(), 1);
            EXPECT_TRUE(test::waitUntil([&] { return connection->clientCloseCode() == 1000; }));
        }
    }
}

} // namespace
} // namespace murmeli::voice
