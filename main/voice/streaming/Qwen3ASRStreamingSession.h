#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include "main/common/Clock.h"
#include "platform/net/NetworkSession.h"

namespace murmeli::voice {

/// The client of the cloud recogniser's v3 endpoint: one WebSocket reused turn after turn, kept alive by a ping
/// every 30 s and reopened after a failure with a back-off of 1 s doubling up to 16 s. A connection murmeli ended
/// because the worker sent too much keeps the back-off growing across the worker's readies. Lives on the main
/// thread; every callback is called there.
class Qwen3ASRStreamingSession final {
public:
    enum class State { Idle, Connecting, Ready, InTurn, Disconnected, ShuttingDown };

    static constexpr qint64 heartbeatIntervalMs = 30000;
    static constexpr qint64 initialRetryDelayMs = 1000;
    static constexpr qint64 maxRetryDelayMs = 16000;
    static constexpr int openTimeoutMs = 5000;
    /// How long a closing connection stays to carry the finish message and late server messages.
    static constexpr qint64 closeGraceMs = 200;
    static constexpr int sampleRate = 16000;
    /// How long a connection must stay ready before the worker is trusted again after sending too much.
    static constexpr qint64 healthyAfterMs = heartbeatIntervalMs;

    Qwen3ASRStreamingSession(
        QUrl endpointUrl, QString token, std::shared_ptr<platform::NetworkSession> wsSession, common::Clock& clock);
    ~Qwen3ASRStreamingSession();
    Qwen3ASRStreamingSession(const Qwen3ASRStreamingSession&) = delete;
    Qwen3ASRStreamingSession& operator=(const Qwen3ASRStreamingSession&) = delete;

    /// Connects from idle or disconnected, announcing locale; otherwise only logs that it was ignored.
    void open(const QString& locale);
    /// The next connection uses token; nothing is sent now.
    void updateToken(const QString& token);
    /// Orderly shutdown: finish message, then the connection is dropped 0.2 s later and the state becomes idle.
    void close();
    /// Opens a turn when ready, announcing locale first when it changed.
    void beginTurn(const QString& locale);
    /// In a turn, sends pcm (16 kHz mono 16-bit) as one binary message; otherwise drops it.
    void feedAudio(const QByteArray& pcm);
    /// In a turn, asks for the final text; the turn stays open until the final, an error or a cancel.
    void endTurn();
    /// In a turn, returns to ready without telling the server.
    void cancelTurn();

    State state() const { return m_state; }
    bool isReady() const { return m_state == State::Ready; }
    bool isInTurn() const { return m_state == State::InTurn; }
    const QUrl& endpointUrl() const { return m_endpointUrl; }
    const QString& currentLocale() const { return m_currentLocale; }
    qint64 retryDelayMs() const { return m_retryDelayMs; }
    qint64 turnAudioBytes() const { return m_turnAudioBytes; }

    std::function<void(const QString& text)> onPartial;
    std::function<void(const QString& text, qint64 firstPartialMs, qint64 finalMs)> onFinal;
    std::function<void(const QString& code, const QString& message)> onError;
    std::function<void(State state)> onStateChange;
    /// A turn ended without its final text: the server's error, a dropped connection or a close; the reason.
    std::function<void(const QString& reason)> onTurnLost;
    std::function<void(const QString& line)> onLog;

private:
    using ConnectionId = std::uint64_t;

    void setState(State state);
    void sendInit(const QString& locale);
    void sendControl(const QJsonObject& control);
    void watch(platform::WebSocket& socket, ConnectionId id);
    void handleServerMessage(ConnectionId id, const QString& text);
    void handleConnectionFailure(ConnectionId id, const QString& error, bool excess);
    void holdBackOffAfterExcess();
    void transitionToDisconnected();
    void turnLost(const QString& reason);
    void startHeartbeat();
    void heartbeatTick();
    void sendPing();
    void scheduleRetry();
    void cancelTimer(common::Clock::TimerId& timer);
    void dropConnection(std::unique_ptr<platform::WebSocket>& socket);
    std::function<void(const QString&)> failureLogger(const QString& prefix);

    QUrl m_endpointUrl;
    QString m_token;
    std::shared_ptr<platform::NetworkSession> m_wsSession;
    common::Clock& m_clock;
    State m_state = State::Idle;
    // The current connection and its id; every event of a socket carries the id it was opened with, so events of
    // a connection that has been replaced or dropped are recognised and ignored.
    std::unique_ptr<platform::WebSocket> m_socket;
    ConnectionId m_connectionId = 0;
    // The connection close() took: kept for the grace period so that its finish message leaves and its last
    // messages are still read.
    std::unique_ptr<platform::WebSocket> m_closingSocket;
    ConnectionId m_closingConnectionId = 0;
    ConnectionId m_nextConnectionId = 1;
    common::Clock::TimerId m_heartbeatTimer = 0;
    common::Clock::TimerId m_retryTimer = 0;
    common::Clock::TimerId m_closeTimer = 0;
    qint64 m_retryDelayMs = initialRetryDelayMs;
    // The back-off the next connection ended for excess waits at least: a worker that sends too much still answers
    // "ready" each time, and that ready must not start the series over while it keeps misbehaving.
    qint64 m_excessRetryDelayMs = initialRetryDelayMs;
    // When the current connection became ready; nullopt before its ready.
    std::optional<qint64> m_readyAtMs;
    QString m_currentLocale = QStringLiteral("zh-CN");
    qint64 m_turnAudioBytes = 0;
    // Callbacks may destroy the session; work after a callback first checks this is still alive.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

/// The raw value shown on the settings page and posted with the state-change notification.
QString toString(Qwen3ASRStreamingSession::State state);
/// The state of a raw value; nullopt for any text but the six raw values.
std::optional<Qwen3ASRStreamingSession::State> streamingStateFromString(const QString& raw);

} // namespace murmeli::voice
