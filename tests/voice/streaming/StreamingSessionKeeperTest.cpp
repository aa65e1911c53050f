#include "main/voice/streaming/StreamingSessionKeeper.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/net/fake/FakeNetworkSession.h"
#include "tests/support/FakeClock.h"

namespace murmeli::voice {

namespace {

using platform::FakeNetworkSession;
using voice::Qwen3ASRStreamingSession;

class StreamingSessionKeeperTest : public ::testing::Test {
protected:
    StreamingSessionKeeperTest()
    {
        m_keeper.onStateChanged = [this](const QString& raw) { states.append(raw); };
        m_keeper.onLog = [this](const QString& message, common::LogColor color) {
            if (color != common::LogColor::Blue) {
                notices.append(common::toString(color) + QLatin1Char(' ') + message);
            }
        };
    }

    platform::FakeWebSocket& socket() { return *m_net->lastSocket(); }

    void openReady()
    {
        m_keeper.openIfEligible();
        socket().acceptHandshake();
        socket().receiveText(QStringLiteral(R"({"type":"ready"})"));
        ASSERT_TRUE(m_keeper.session()->isReady());
    }

    QString token = QStringLiteral("tok-1");
    QString backend = QStringLiteral("cloud-streaming");
    QString worker = QStringLiteral("https://api.murmeli.example");
    std::shared_ptr<FakeNetworkSession> m_net = std::make_shared<FakeNetworkSession>();
    test::FakeClock m_clock;
    StreamingSessionKeeper m_keeper { { [this] { return token; }, [this] { return backend; }, [this] { return worker; },
                                          [] { return QStringLiteral("de-DE"); }, [this] { return m_net; } },
        m_clock };
    QStringList states, notices;
};

TEST_F(StreamingSessionKeeperTest, OpensOnlyWhenSignedInAndStreamingThroughTheCloud)
{
    struct Case {
        QString token, backend, worker;
        bool opens;
        QString notice;
    };
    const std::vector<Case> cases = {
        { "", "cloud-streaming", "https://api.example", false, {} },
        { "tok", "murmeli-cloud", "https://api.example", false, {} },
        { "tok", "apple-stt", "https://api.example", false, {} },
        { "tok", "cloud-streaming", "not an address", false,
            common::toString(common::LogColor::Red) + " [qwen3-v3] invalid cloudWorkerURL: not an address" },
        { "tok", "cloud-streaming", "https://api.example", true, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.backend.toStdString() + " " + c.worker.toStdString());
        token = c.token;
        backend = c.backend;
        worker = c.worker;
        notices.clear();
        const int before = m_net->openCount();
        m_keeper.openIfEligible();
        EXPECT_EQ(m_net->openCount() - before, c.opens ? 1 : 0);
        EXPECT_EQ(notices.value(0), c.notice);
    }
    const platform::WebSocketRequest& request = socket().request();
    EXPECT_EQ(request.url.toString(), QStringLiteral("wss://api.example/ws/transcribe-v3"));
    EXPECT_EQ(request.headers.value(0).second, QByteArray("Bearer tok"));
    EXPECT_TRUE(socket().sentTexts().value(0).contains(QStringLiteral("\"locale\":\"de-DE\"")));
}

TEST_F(StreamingSessionKeeperTest, PostsEveryStateAndTheDisconnectNoticeAtMostOnceIn30Seconds)
{
    openReady();
    socket().fail(QStringLiteral("reset")); // t = 0: notice
    m_clock.advance(1000);
    socket().fail(QStringLiteral("refused")); // t = 1 s: too soon for another
    m_clock.advance(29000); // the retry at t = 3 s opens once more
    socket().fail(QStringLiteral("refused")); // t = 30 s: notice again
    EXPECT_EQ(states,
        QStringList({ "connecting", "ready", "disconnected", "idle", "connecting", "disconnected", "idle", "connecting",
            "disconnected" }));
    const QString notice = common::toString(common::LogColor::Orange)
        + QStringLiteral(" WS disconnected — next PTT will use legacy fallback (quality may differ)");
    EXPECT_EQ(notices, QStringList({ notice, notice }));
}

TEST_F(StreamingSessionKeeperTest, ReusesAClosedSessionWithTheCurrentTokenAndLeavesALiveOneAlone)
{
    openReady();
    Qwen3ASRStreamingSession* first = m_keeper.session();
    m_keeper.openIfEligible();
    EXPECT_EQ(m_net->openCount(), 1);

    m_keeper.close();
    EXPECT_EQ(m_keeper.session(), first);
    m_clock.advance(200);
    token = QStringLiteral("tok-2");
    m_keeper.openIfEligible();
    EXPECT_EQ(m_keeper.session(), first);
    ASSERT_EQ(m_net->openCount(), 2);
    EXPECT_EQ(socket().request().headers.value(0).second, QByteArray("Bearer tok-2"));

    // Reopened while the close is still under way: the closing one finishes, a new one takes its place.
    m_keeper.close();
    m_keeper.openIfEligible();
    EXPECT_EQ(m_net->openCount(), 3);
    EXPECT_EQ(m_keeper.session()->state(), Qwen3ASRStreamingSession::State::Connecting);
    m_clock.advance(200);
    EXPECT_EQ(states.last(), QStringLiteral("connecting"));
}

TEST_F(StreamingSessionKeeperTest, AProxyChangeOpensANewSessionThroughTheNewNetworkSession)
{
    openReady();
    platform::FakeWebSocket& old = socket();
    Qwen3ASRStreamingSession* first = m_keeper.session();
    auto before = m_net;
    m_net = std::make_shared<FakeNetworkSession>(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 10080));
    states.clear();

    m_keeper.reopenAfterProxyChange();
    EXPECT_NE(m_keeper.session(), first);
    EXPECT_EQ(before->openCount(), 1);
    EXPECT_EQ(m_net->openCount(), 1);
    EXPECT_TRUE(old.sentTexts().last().contains(QStringLiteral("finish")));
    m_clock.advance(200);
    // Once the new session is there, the old one's end (idle) is no longer posted: it is not the state in use.
    EXPECT_EQ(states, QStringList({ "shuttingDown", "connecting" }));

    token.clear();
    m_keeper.reopenAfterProxyChange();
    EXPECT_EQ(m_keeper.session(), nullptr);
    m_clock.advance(200);
    EXPECT_EQ(states, QStringList({ "shuttingDown", "connecting", "shuttingDown", "idle" }));
}

} // namespace
} // namespace murmeli::voice
