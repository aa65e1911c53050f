#include "main/voice/streaming/Qwen3ASRStreamingSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "platform/net/fake/FakeNetworkSession.h"
#include "tests/support/FakeClock.h"

namespace murmeli::voice {
namespace {

using State = Qwen3ASRStreamingSession::State;

QJsonObject json(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

class Qwen3ASRStreamingSessionTest : public ::testing::Test {
protected:
    Qwen3ASRStreamingSessionTest() { wire(); }

    void wire()
    {
        m_session->onStateChange = [this](State state) { states.push_back(state); };
        m_session->onLog = [this](const QString& line) { logs.append(line); };
        m_session->onPartial = [this](const QString& text) { partials.append(text); };
        m_session->onFinal = [this](const QString& text, qint64 first, qint64 last) {
            finals.append(
                QStringLiteral("%1|%2|%3|%4").arg(text).arg(first).arg(last).arg(toString(m_session->state())));
        };
        m_session->onError = [this](const QString& code, const QString& message) {
            errors.append(QStringLiteral("%1|%2|%3").arg(code, message, toString(m_session->state())));
        };
    }

    platform::FakeWebSocket& socket() { return *m_net->lastSocket(); }

    /// Open, handshake and the server's ready: the session is ready with locale en-US.
    void connectReady()
    {
        m_session->open(QStringLiteral("en-US"));
        socket().acceptHandshake();
        socket().receiveText(QStringLiteral(R"({"type":"ready"})"));
        ASSERT_EQ(m_session->state(), State::Ready);
    }

    static void settle()
    {
        // Completions and released sockets go through the event loop; deliver what is queued.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    test::FakeClock m_clock;
    std::shared_ptr<platform::FakeNetworkSession> m_net = std::make_shared<platform::FakeNetworkSession>();
    std::unique_ptr<Qwen3ASRStreamingSession> m_session = std::make_unique<Qwen3ASRStreamingSession>(
        QUrl(QStringLiteral("wss://worker.example/ws/transcribe-v3")), QStringLiteral("tok-1"), m_net, m_clock);
    std::vector<State> states;
    QStringList logs, partials, finals, errors;
};

TEST_F(Qwen3ASRStreamingSessionTest, OpenCarriesBearerAndTimeoutAndSendsInitAtOnce)
{
    EXPECT_EQ(m_session->state(), State::Idle);
    EXPECT_EQ(m_session->currentLocale(), QStringLiteral("zh-CN"));
    m_session->updateToken(QStringLiteral("tok-2"));
    m_session->open(QStringLiteral("en-US"));
    m_session->open(QStringLiteral("en-US"));

    ASSERT_EQ(m_net->openCount(), 1);
    const platform::WebSocketRequest& request = socket().request();
    EXPECT_EQ(request.url.toString(), QStringLiteral("wss://worker.example/ws/transcribe-v3"));
    EXPECT_EQ(request.headers.value(0).second, QByteArray("Bearer tok-2"));
    EXPECT_EQ(request.handshakeTimeoutMs, 5000);
    ASSERT_EQ(socket().sentTexts().size(), 1);
    EXPECT_EQ(json(socket().sentTexts()[0].toUtf8()),
        QJsonObject({ { "action", "init" }, { "locale", "en-US" }, { "sample_rate", 16000 } }));
    EXPECT_EQ(states, std::vector<State> { State::Connecting });
    EXPECT_EQ(logs, QStringList { "[qwen3-v3] open() ignored, state=connecting" });
}

TEST_F(Qwen3ASRStreamingSessionTest, ServerMessagesAsTheProtocolReadsThem)
{
    struct Case {
        const char* name;
        bool inTurn;
        QString message;
        State after;
        QStringList partials, finals, errors;
        QString log; // the last log line, "" for none
    };
    const std::vector<Case> cases = {
        { "partial", true, R"({"type":"partial","text":"hel"})", State::InTurn, { "hel" }, {}, {}, {} },
        { "partial without text", true, R"({"type":"partial"})", State::InTurn, {}, {}, {}, {} },
        { "final closes the turn before its callback", true,
            R"({"type":"final","text":"hello","first_partial_ms":80,"final_ms":210})", State::Ready, {},
            { "hello|80|210|ready" }, {}, "[qwen3-v3] final received (first_partial=80ms, final=210ms)" },
        { "bare final", true, R"({"type":"final"})", State::Ready, {}, { "|0|0|ready" }, {},
            "[qwen3-v3] final received (first_partial=0ms, final=0ms)" },
        { "final between turns", false, R"({"type":"final","text":"late","final_ms":1.5})", State::Ready, {},
            { "late|0|0|ready" }, {}, "[qwen3-v3] final received (first_partial=0ms, final=0ms)" },
        { "error seen inside the turn", true, R"({"type":"error","code":"quota","message":"used up"})", State::Ready,
            {}, {}, { "quota|used up|inTurn" }, "[qwen3-v3] server error: quota — used up" },
        { "bare error", true, R"({"type":"error"})", State::Ready, {}, {}, { "unknown||inTurn" },
            "[qwen3-v3] server error: unknown — " },
        { "ready inside a turn", true, R"({"type":"ready"})", State::Ready, {}, {}, {},
            "[qwen3-v3] WS ready (state inTurn → ready)" },
        { "not JSON", true, "hello", State::InTurn, {}, {}, {}, {} },
        { "an array", true, "[1]", State::InTurn, {}, {}, {}, {} },
        { "no type", true, R"({"text":"x"})", State::InTurn, {}, {}, {}, {} },
        { "unknown type", true, R"({"type":"progress"})", State::InTurn, {}, {}, {}, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_session = std::make_unique<Qwen3ASRStreamingSession>(
            QUrl(QStringLiteral("ws://w/ws/transcribe-v3")), QStringLiteral("t"), m_net, m_clock);
        wire();
        partials.clear();
        finals.clear();
        errors.clear();
        connectReady();
        if (c.inTurn) {
            m_session->beginTurn(QStringLiteral("en-US"));
        }
        logs.clear();
        socket().receiveText(c.message);
        socket().receiveBinary(QByteArray(8, 'x'));
        EXPECT_EQ(m_session->state(), c.after);
        EXPECT_EQ(partials, c.partials);
        EXPECT_EQ(finals, c.finals);
        EXPECT_EQ(errors, c.errors);
        EXPECT_EQ(logs.value(logs.size() - 1), c.log);
    }
}

TEST_F(Qwen3ASRStreamingSessionTest, TurnsSendAudioOnlyInsideATurnAndAnnounceANewLocale)
{
    m_session->feedAudio(QByteArray(3200, 'a')); // before ready: dropped
    connectReady();
    m_session->feedAudio(QByteArray(3200, 'a')); // between turns: dropped
    m_session->endTurn(); // no turn: nothing
    m_session->beginTurn(QStringLiteral("en-US"));
    for (int i = 0; i < 10; ++i) {
        m_session->feedAudio(QByteArray(3200, 'a'));
    }
    m_session->endTurn();
    EXPECT_EQ(logs.last(), QStringLiteral("[qwen3-v3] endTurn sent, audio_bytes=32000"));
    socket().receiveText(QStringLiteral(R"({"type":"final","text":"one"})"));
    m_session->feedAudio(QByteArray(3200, 'a')); // after the final: dropped

    m_session->beginTurn(QStringLiteral("ja-JP"));
    m_session->feedAudio(QByteArray(100, 'b'));
    m_session->cancelTurn();
    EXPECT_EQ(m_session->state(), State::Ready);
    EXPECT_EQ(m_session->turnAudioBytes(), 0);
    EXPECT_EQ(m_session->currentLocale(), QStringLiteral("ja-JP"));
    socket().receiveText(QStringLiteral(R"({"type":"final","text":"cancelled turn"})"));
    EXPECT_EQ(finals.last(), QStringLiteral("cancelled turn|0|0|ready"));

    // What went out: init, ten pieces, end_turn, the new init, one piece; nothing for the cancel.
    const auto& sent = socket().sent();
    ASSERT_EQ(sent.size(), 14u);
    EXPECT_EQ(json(sent[11].data).value("action"), QStringLiteral("end_turn"));
    EXPECT_EQ(json(sent[12].data).value("locale"), QStringLiteral("ja-JP"));
    EXPECT_TRUE(sent[13].binary);
    m_session->beginTurn(QStringLiteral("en-US"));
    m_session->beginTurn(QStringLiteral("en-US"));
    EXPECT_EQ(logs.last(), QStringLiteral("[qwen3-v3] beginTurn ignored, state=inTurn"));
}

TEST_F(Qwen3ASRStreamingSessionTest, HeartbeatPingsWhileConnectedAndAFailedPingReconnects)
{
    connectReady();
    m_clock.advance(29999);
    EXPECT_EQ(socket().pingCount(), 0);
    m_clock.advance(1);
    EXPECT_EQ(socket().pingCount(), 1);
    socket().answerPing();
    m_session->beginTurn(QStringLiteral("en-US"));
    m_clock.advance(30000);
    EXPECT_EQ(socket().pingCount(), 2);

    socket().answerPing(QStringLiteral("broken pipe"));
    settle();
    EXPECT_EQ(m_session->state(), State::Disconnected);
    EXPECT_TRUE(logs.contains(QStringLiteral("[qwen3-v3] ping failed: broken pipe")));
    EXPECT_EQ(m_clock.pendingTimers(), 1); // the retry; the heartbeat has stopped
}

TEST_F(Qwen3ASRStreamingSessionTest, CloseSendsFinishReadsLateMessagesAndDropsWith1000)
{
    connectReady();
    m_session->beginTurn(QStringLiteral("en-US"));
    m_session->endTurn();
    m_session->close();
    EXPECT_EQ(m_session->state(), State::ShuttingDown);
    EXPECT_EQ(json(socket().sentTexts().last().toUtf8()).value("action"), QStringLiteral("finish"));
    platform::FakeWebSocket* closing = &socket();
    closing->receiveText(QStringLiteral(R"({"type":"final","text":"just in time"})"));
    closing->receiveText(QStringLiteral(R"({"type":"ready"})"));
    closing->fail(QStringLiteral("peer went away")); // the closing connection's end is no failure of ours
    EXPECT_EQ(finals.last(), QStringLiteral("just in time|0|0|shuttingDown"));
    EXPECT_EQ(m_session->state(), State::ShuttingDown);
    EXPECT_TRUE(logs.filter(QStringLiteral("receive error")).isEmpty());

    m_clock.advance(200);
    EXPECT_EQ(m_session->state(), State::Idle);
    EXPECT_EQ(m_clock.pendingTimers(), 0);
    m_session->close();
    EXPECT_EQ(states.back(), State::Idle);
}

TEST_F(Qwen3ASRStreamingSessionTest, AWorkerThatSentTooMuchIsForgivenAfterAHealthyWhileNotAtItsReady)
{
    const QString ready = QStringLiteral(R"({"type":"ready"})");
    struct Case {
        const char* name;
        std::function<void()> between; // after the third ready
        bool excess; // how the third connection ends
        qint64 delay; // the back-off that follows
    };
    const std::vector<Case> cases = {
        { "too much again just short of a healthy while", [this] { m_clock.advance(29999); }, true, 4000 },
        { "too much after a healthy while", [this] { m_clock.advance(30000); }, true, 1000 },
        { "an ordinary failure after the ready", [] {}, false, 1000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_session = std::make_unique<Qwen3ASRStreamingSession>(
            QUrl(QStringLiteral("wss://worker.example/ws/transcribe-v3")), QStringLiteral("tok-1"), m_net, m_clock);
        wire();
        connectReady();
        for (const qint64 delay : { 1000, 2000 }) {
            socket().fail(QStringLiteral("too much"), true);
            m_clock.advance(delay);
            socket().acceptHandshake();
            socket().receiveText(ready);
            ASSERT_EQ(m_session->state(), State::Ready);
        }
        c.between();
        socket().fail(QStringLiteral("gone"), c.excess);
        m_clock.advance(c.delay - 1);
        EXPECT_EQ(m_session->state(), State::Disconnected);
        m_clock.advance(1);
        EXPECT_EQ(logs.filter(QStringLiteral("retry open()")).last(),
            QStringLiteral("[qwen3-v3] retry open() after %1ms").arg(c.delay));
        m_session.reset();
        settle();
    }
}

TEST_F(Qwen3ASRStreamingSessionTest, AnOwnerMayLetGoOfTheSessionInsideACallback)
{
    connectReady();
    m_session->beginTurn(QStringLiteral("en-US"));
    m_session->onFinal = [this](const QString&, qint64, qint64) { m_session.reset(); };
    socket().receiveText(QStringLiteral(R"({"type":"final","text":"bye"})"));
    EXPECT_EQ(m_session, nullptr);
    settle();
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

} // namespace
} // namespace murmeli::voice
