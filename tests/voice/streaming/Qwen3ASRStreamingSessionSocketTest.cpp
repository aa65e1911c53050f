// The streaming session over real sockets against the loopback mock of the cloud worker; time-driven steps
// (heartbeat, back-off, the close grace) run on a fake clock, the network on the real event loop.

#include "main/voice/streaming/Qwen3ASRStreamingSession.h"

#include <functional>
#include <memory>

#include <QNetworkProxy>

#include <gtest/gtest.h>

#include "platform/net/NetworkSessionFactory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockTranscribeV3Route.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {
namespace {

using State = Qwen3ASRStreamingSession::State;
using test::waitUntil;

class Qwen3ASRStreamingSessionSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_route.script().token = QStringLiteral("tok-live");
        ASSERT_TRUE(m_worker.start());
        m_session = makeSession(QStringLiteral("tok-live"));
    }

    std::unique_ptr<Qwen3ASRStreamingSession> makeSession(const QString& token)
    {
        auto session = std::make_unique<Qwen3ASRStreamingSession>(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/ws/transcribe-v3").arg(m_worker.port())), token,
            platform::makeNetworkSession(QNetworkProxy(QNetworkProxy::NoProxy)), m_clock);
        session->onLog = [this](const QString& line) { logs.append(line); };
        session->onPartial = [this](const QString& text) { partials.append(text); };
        session->onFinal = [this](const QString& text, qint64 first, qint64 last) {
            finals.append(QStringLiteral("%1|%2|%3").arg(text).arg(first).arg(last));
        };
        return session;
    }

    bool reaches(State state)
    {
        return waitUntil([&] { return m_session->state() == state; });
    }

    /// Walks the back-off of 1, 2, 4, 8, 16 and 16 s: each retry comes exactly after its delay, then fails again.
    void walkBackOff(const std::function<bool()>& failsAgain)
    {
        for (const qint64 delay : { 1000, 2000, 4000, 8000, 16000, 16000 }) {
            SCOPED_TRACE(delay);
            m_clock.advance(delay - 1);
            EXPECT_EQ(m_session->state(), State::Disconnected);
            m_clock.advance(1);
            EXPECT_EQ(logs.filter(QStringLiteral("retry open()")).last(),
                QStringLiteral("[qwen3-v3] retry open() after %1ms").arg(delay));
            ASSERT_TRUE(failsAgain());
        }
    }

    test::FakeClock m_clock;
    test::MockCloudWorker m_worker;
    test::MockTranscribeV3Route m_route { m_worker };
    std::unique_ptr<Qwen3ASRStreamingSession> m_session;
    QStringList logs, partials, finals;
};

TEST_F(Qwen3ASRStreamingSessionSocketTest, ATurnStreamsPiecesAndEndsWithTheFinalText)
{
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(reaches(State::Ready));
    m_session->beginTurn(QStringLiteral("en-US"));
    for (int i = 0; i < 30; ++i) {
        m_session->feedAudio(QByteArray(3200, static_cast<char>(i)));
    }
    m_session->feedAudio(QByteArray(1200, 'z'));
    m_session->endTurn();
    ASSERT_TRUE(waitUntil([&] { return !finals.isEmpty(); }));

    EXPECT_EQ(finals, QStringList { "hello from the mock worker|120|340" });
    EXPECT_EQ(m_session->state(), State::Ready);
    EXPECT_EQ(partials,
        QStringList({ "hello", "hello from", "hello from the", "hello from the mock", "hello from the mock worker",
            "hello from the mock worker" }));
    const test::MockTranscribeV3Route::Client& client = *m_route.lastClient();
    EXPECT_EQ(client.bearerToken, QStringLiteral("tok-live"));
    ASSERT_EQ(client.turns.size(), 1u);
    EXPECT_EQ(client.turns[0].audioBytes, 30 * 3200 + 1200);
    EXPECT_EQ(client.turns[0].locale, QStringLiteral("en-US"));
    EXPECT_TRUE(m_route.violations().isEmpty()) << m_route.violations().join('\n').toStdString();
    EXPECT_TRUE(client.connection->protocolErrors().isEmpty());
}

TEST_F(Qwen3ASRStreamingSessionSocketTest, PingsEveryThirtySecondsAndCloseSendsFinishThen1000)
{
    m_session->open(QStringLiteral("zh-CN"));
    ASSERT_TRUE(reaches(State::Ready));
    m_clock.advance(30000);
    auto* connection = m_route.lastClient()->connection;
    ASSERT_TRUE(waitUntil([&] { return connection->pingCount() == 1; }));
    m_clock.advance(30000);
    ASSERT_TRUE(waitUntil([&] { return connection->pingCount() == 2; }));

    m_session->close();
    ASSERT_TRUE(waitUntil([&] { return m_route.lastClient()->finished; }));
    EXPECT_FALSE(connection->clientCloseCode().has_value()); // not before the grace period is over
    m_clock.advance(200);
    ASSERT_TRUE(waitUntil([&] { return connection->clientCloseCode() == 1000; }));
    EXPECT_EQ(m_session->state(), State::Idle);
    EXPECT_TRUE(logs.filter(QStringLiteral("failed")).isEmpty());
    EXPECT_TRUE(m_route.violations().isEmpty()) << m_route.violations().join('\n').toStdString();
}

TEST_F(Qwen3ASRStreamingSessionSocketTest, AKilledWorkerGivesTheBackOffSequenceAndTheSessionComesBack)
{
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(reaches(State::Ready));
    const quint16 port = m_worker.port();
    m_worker.kill();
    ASSERT_TRUE(reaches(State::Disconnected));

    walkBackOff([&] { return reaches(State::Disconnected); }); // refused again
    ASSERT_TRUE(m_worker.start(port));
    m_clock.advance(16000);
    ASSERT_TRUE(reaches(State::Ready));
    EXPECT_EQ(m_session->retryDelayMs(), 1000);
    EXPECT_EQ(m_route.clients().size(), 2u);
    EXPECT_EQ(m_clock.pendingTimers(), 1); // the heartbeat only
}

TEST_F(Qwen3ASRStreamingSessionSocketTest, AWorkerThatSendsTooMuchIsCutOffAndItsReadiesDoNotRestartTheBackOff)
{
    using Flood = test::MockWebSocketConnection::Flood;
    constexpr qint64 memoryBound = 64 * 1024 * 1024;
    test::ResidentGrowth memory;
    // Each connection gets its ready, then a message without end; murmeli must cut it off every time.
    auto cutOff = [&] {
        return waitUntil(
            [&] {
                memory.note();
                return m_session->state() == State::Disconnected || memory.peakGrowth() > memoryBound;
            },
            20000);
    };
    m_route.script().floodAfterReady = Flood::EndlessMessage;
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(cutOff());
    walkBackOff(cutOff);
    EXPECT_LT(memory.peakGrowth(), memoryBound);
    EXPECT_EQ(m_route.clients().size(), 7u);
    EXPECT_EQ(logs.filter(QStringLiteral("WS ready (state connecting → ready)")).size(), 7);
    EXPECT_EQ(logs.filter(QStringLiteral("[qwen3-v3] WS receive error: murmeli closed the connection because the "
                                         "server sent too much: a message over 4 MiB (close code 1009"))
                  .size(),
        7);

    // The worker behaves again and a turn completes; when it then floods with pings it never reads the answers to,
    // the back-off starts at 1 s again.
    m_route.script().floodAfterReady.reset();
    m_clock.advance(16000);
    ASSERT_TRUE(reaches(State::Ready));
    m_session->beginTurn(QStringLiteral("en-US"));
    m_session->feedAudio(QByteArray(3200, 'x'));
    m_session->endTurn();
    ASSERT_TRUE(waitUntil([&] { return !finals.isEmpty(); }));
    m_route.lastClient()->connection->startFlood(Flood::Pings);
    ASSERT_TRUE(cutOff());
    EXPECT_LT(memory.peakGrowth(), memoryBound);
    EXPECT_EQ(logs.filter(QStringLiteral("WS receive error")).last(),
        QStringLiteral("[qwen3-v3] WS receive error: murmeli dropped the connection because the server does not read: "
                       "more than 4 MiB waited to be written to it"));
    m_clock.advance(1000);
    EXPECT_EQ(
        logs.filter(QStringLiteral("retry open()")).last(), QStringLiteral("[qwen3-v3] retry open() after 1000ms"));
    EXPECT_TRUE(m_route.violations().isEmpty()) << m_route.violations().join('\n').toStdString();
}

// A worker may close with 1009 for reasons of its own; that is its close, not murmeli's cut-off, and each ready in
// between starts the back-off over.
TEST_F(Qwen3ASRStreamingSessionSocketTest, AWorkerThatClosesWith1009IsTheWorkersCloseAndBacksOffAsAnyClose)
{
    m_session->open(QStringLiteral("en-US"));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(reaches(State::Ready));
        m_route.lastClient()->connection->close(1009);
        ASSERT_TRUE(reaches(State::Disconnected));
        m_clock.advance(999);
        EXPECT_EQ(m_session->state(), State::Disconnected);
        m_clock.advance(1);
    }
    ASSERT_TRUE(reaches(State::Ready));
    EXPECT_EQ(logs.filter(QStringLiteral("WS receive error")),
        QStringList(
            3, QStringLiteral("[qwen3-v3] WS receive error: The server closed the connection (close code 1009)")));
    EXPECT_EQ(m_route.clients().size(), 4u);
}

TEST_F(Qwen3ASRStreamingSessionSocketTest, ARefusedBearerIsAConnectionFailure)
{
    m_session = makeSession(QStringLiteral("tok-expired"));
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(reaches(State::Disconnected));
    EXPECT_TRUE(logs.contains(QStringLiteral(
        "[qwen3-v3] WS receive error: The server refused the WebSocket upgrade: HTTP 401 Unauthorized")));
    EXPECT_EQ(m_route.refusedUpgrades(), 1);
    m_session->updateToken(QStringLiteral("tok-live"));
    m_clock.advance(1000);
    EXPECT_TRUE(reaches(State::Ready));
}

TEST_F(Qwen3ASRStreamingSessionSocketTest, ADroppedConnectionWithAPingInFlightStartsOneRetryChain)
{
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(reaches(State::Ready));
    auto* first = m_route.lastClient()->connection;
    first->setAnswerPings(false);
    m_clock.advance(30000);
    ASSERT_TRUE(waitUntil([&] { return first->pingCount() == 1; }));
    first->drop();
    ASSERT_TRUE(reaches(State::Disconnected));
    EXPECT_EQ(m_clock.pendingTimers(), 1);

    m_clock.advance(1000);
    ASSERT_TRUE(reaches(State::Ready));
    m_clock.advance(2000 + 4000);
    EXPECT_EQ(m_route.clients().size(), 2u);
    EXPECT_TRUE(m_route.lastClient()->connection->isOpen());
    EXPECT_EQ(logs.filter(QStringLiteral("retry open()")).size(), 1);
}

TEST_F(Qwen3ASRStreamingSessionSocketTest, CloseThenOpenKeepsTheNewConnection)
{
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(reaches(State::Ready));
    m_route.lastClient()->connection->drop();
    ASSERT_TRUE(reaches(State::Disconnected));
    m_session->close();
    m_clock.advance(200);
    m_session->open(QStringLiteral("en-US"));
    ASSERT_TRUE(reaches(State::Ready));

    m_clock.advance(1000); // when the voided retry would have fired
    EXPECT_EQ(m_session->state(), State::Ready);
    EXPECT_EQ(m_route.clients().size(), 2u);
    EXPECT_TRUE(m_route.lastClient()->connection->isOpen());
}

} // namespace
} // namespace murmeli::voice
