#include "main/voice/streaming/StreamingSessionKeeper.h"

#include <memory>
#include <vector>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/preferences/LocaleNormalizer.h"
#include "platform/defaults/Defaults.h"
#include "platform/net/fake/FakeNetworkSession.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "tests/support/FakeClock.h"

namespace murmeli::voice {

namespace {

using platform::FakeNetworkSession;
using voice::Qwen3ASRStreamingSession;

class StreamingSessionKeeperTest : public ::testing::Test {
protected:
    StreamingSessionKeeperTest()
    {
        // The keeper's engine as a signed-in user who streams through the cloud has it, its backend taken as set.
        m_defaults.setValue(QString::fromLatin1(LocaleNormalizer::userDefaultsKey), QStringLiteral("de-DE"));
        m_engine.setPreferStreaming(false);
        m_engine.setActiveBackendId(QStringLiteral("cloud-streaming"));
        m_engine.setCloudToken(QStringLiteral("tok-1"));
        m_engine.setCloudWorkerURL(QStringLiteral("https://api.murmeli.example"));
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

    std::shared_ptr<FakeNetworkSession> m_net = std::make_shared<FakeNetworkSession>();
    test::FakeClock m_clock;
    QTemporaryDir m_dir;
    platform::Defaults m_defaults { m_dir.filePath(QStringLiteral("defaults.json")) };
    // Every socket session the engine asks for is the test's current one.
    SpeechEngine m_engine { m_defaults, m_clock,
        SpeechEngine::Devices { {}, std::make_shared<platform::FakeSpeechRecognizer>(), m_dir.path(),
            [this](const QNetworkProxy&) -> std::shared_ptr<platform::NetworkSession> { return m_net; } } };
    StreamingSessionKeeper& m_keeper = m_engine.streaming();
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
        m_engine.setCloudToken(c.token);
        m_engine.setActiveBackendId(c.backend);
        m_engine.setCloudWorkerURL(c.worker);
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
    m_engine.setCloudToken(QStringLiteral("tok-2"));
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
    ASSERT_FALSE(m_engine.sockets().setProxy(QStringLiteral("127.0.0.1"), 10080));
    states.clear();

    m_keeper.reopenAfterProxyChange();
    EXPECT_NE(m_keeper.session(), first);
    EXPECT_EQ(before->openCount(), 1);
    EXPECT_EQ(m_net->openCount(), 1);
    EXPECT_TRUE(old.sentTexts().last().contains(QStringLiteral("finish")));
    m_clock.advance(200);
    // Once the new session is there, the old one's end (idle) is no longer posted: it is not the state in use.
    EXPECT_EQ(states, QStringList({ "shuttingDown", "connecting" }));

    m_engine.setCloudToken(QString());
    m_keeper.reopenAfterProxyChange();
    EXPECT_EQ(m_keeper.session(), nullptr);
    m_clock.advance(200);
    EXPECT_EQ(states, QStringList({ "shuttingDown", "connecting", "shuttingDown", "idle" }));
}

// The engine's own proxy setting: a refused one changes nothing, a new one reopens the session through it, and none
// reopens it directly.
TEST_F(StreamingSessionKeeperTest, TheEnginesProxySettingReopensTheSessionThroughItsSocketSession)
{
    openReady();
    const std::shared_ptr<FakeNetworkSession> direct = m_net;
    Qwen3ASRStreamingSession* first = m_keeper.session();
    EXPECT_TRUE(m_engine.setWebSocketProxy(QStringLiteral("127.0.0.1"), 70000).has_value());
    EXPECT_EQ(m_keeper.session(), first);

    m_net = std::make_shared<FakeNetworkSession>(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 10080));
    EXPECT_EQ(m_engine.setWebSocketProxy(QStringLiteral("127.0.0.1"), 10080), std::nullopt);
    EXPECT_NE(m_keeper.session(), first);
    EXPECT_EQ(m_net->openCount(), 1);
    EXPECT_EQ(direct->openCount(), 1);

    EXPECT_EQ(m_engine.setWebSocketProxy(QString(), 0), std::nullopt);
    EXPECT_EQ(m_engine.wsProxyHost(), QString());
    EXPECT_EQ(direct->openCount(), 2);
    EXPECT_EQ(m_net->openCount(), 1);
}

} // namespace
} // namespace murmeli::voice
