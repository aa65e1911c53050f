#include "main/voice/streaming/Qwen3ASRStreamingSession.h"

#include <algorithm>
#include <array>
#include <utility>

#include <QJsonDocument>
#include <QJsonValue>

#include "main/voice/streaming/WebSocketScheme.h"

namespace murmeli::voice {

namespace {

using State = Qwen3ASRStreamingSession::State;

constexpr std::array<std::pair<State, const char*>, 6> rawValues { {
    { State::Idle, "idle" },
    { State::Connecting, "connecting" },
    { State::Ready, "ready" },
    { State::InTurn, "inTurn" },
    { State::Disconnected, "disconnected" },
    { State::ShuttingDown, "shuttingDown" },
} };

QString textOr(const QJsonObject& object, const char* key, const QString& fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

} // namespace

QString toString(Qwen3ASRStreamingSession::State state)
{
    for (const auto& [candidate, raw] : rawValues) {
        if (candidate == state) {
            return QString::fromLatin1(raw);
        }
    }
    return {};
}

std::optional<Qwen3ASRStreamingSession::State> streamingStateFromString(const QString& raw)
{
    for (const auto& [state, candidate] : rawValues) {
        if (raw == QLatin1String(candidate)) {
            return state;
        }
    }
    return std::nullopt;
}

Qwen3ASRStreamingSession::Qwen3ASRStreamingSession(
    QUrl endpointUrl, QString token, std::shared_ptr<platform::NetworkSession> wsSession, common::Clock& clock)
    : m_endpointUrl(std::move(endpointUrl)), m_token(std::move(token)), m_wsSession(std::move(wsSession)),
      m_clock(clock)
{
}

Qwen3ASRStreamingSession::~Qwen3ASRStreamingSession()
{
    cancelTimer(m_heartbeatTimer);
    cancelTimer(m_retryTimer);
    cancelTimer(m_closeTimer);
    dropConnection(m_socket);
    dropConnection(m_closingSocket);
}

void Qwen3ASRStreamingSession::open(const QString& locale)
{
    if (m_state != State::Idle && m_state != State::Disconnected) {
        onLog(QStringLiteral("[qwen3-v3] open() ignored, state=") + toString(m_state));
        return;
    }
    // Whatever retry was pending is void now: one connection attempt at a time, one retry chain at most.
    cancelTimer(m_retryTimer);
    m_currentLocale = locale;
    const std::weak_ptr<bool> alive = m_alive;
    setState(State::Connecting);
    if (alive.expired() || m_state != State::Connecting) {
        return;
    }
    dropConnection(m_socket);
    m_readyAtMs.reset();
    m_socket = m_wsSession->openWebSocket(bearerRequest(m_endpointUrl, m_token, openTimeoutMs));
    m_connectionId = m_nextConnectionId++;
    watch(*m_socket, m_connectionId);
    // Sent at once; the socket holds it until the handshake has finished.
    sendInit(locale);
}

void Qwen3ASRStreamingSession::updateToken(const QString& token)
{
    m_token = token;
}

void Qwen3ASRStreamingSession::close()
{
    if (m_state == State::Idle || m_state == State::ShuttingDown) {
        return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    const bool wasInTurn = m_state == State::InTurn;
    setState(State::ShuttingDown);
    if (alive.expired()) {
        return;
    }
    if (wasInTurn) {
        turnLost(QStringLiteral("the session closed during the turn"));
        if (alive.expired()) {
            return;
        }
    }
    if (m_socket) {
        sendControl({ { "action", "finish" } });
    }
    cancelTimer(m_heartbeatTimer);
    cancelTimer(m_retryTimer);
    cancelTimer(m_closeTimer);
    dropConnection(m_closingSocket);
    m_closingSocket = std::move(m_socket);
    m_closingConnectionId = std::exchange(m_connectionId, 0);
    m_closeTimer = m_clock.schedule(closeGraceMs, [this] {
        m_closeTimer = 0;
        dropConnection(m_closingSocket);
        m_closingConnectionId = 0;
        setState(State::Idle);
    });
}

void Qwen3ASRStreamingSession::beginTurn(const QString& locale)
{
    if (m_state != State::Ready) {
        onLog(QStringLiteral("[qwen3-v3] beginTurn ignored, state=") + toString(m_state));
        return;
    }
    if (locale != m_currentLocale) {
        m_currentLocale = locale;
        sendInit(locale);
    }
    m_turnAudioBytes = 0;
    setState(State::InTurn);
}

void Qwen3ASRStreamingSession::feedAudio(const QByteArray& pcm)
{
    if (m_state != State::InTurn || !m_socket) {
        return;
    }
    m_turnAudioBytes += pcm.size();
    m_socket->sendBinary(pcm, failureLogger(QStringLiteral("[qwen3-v3] feedAudio send failed: ")));
}

void Qwen3ASRStreamingSession::endTurn()
{
    if (m_state != State::InTurn) {
        return;
    }
    sendControl({ { "action", "end_turn" } });
    onLog(QStringLiteral("[qwen3-v3] endTurn sent, audio_bytes=%1").arg(m_turnAudioBytes));
}

void Qwen3ASRStreamingSession::cancelTurn()
{
    if (m_state != State::InTurn) {
        return;
    }
    m_turnAudioBytes = 0;
    setState(State::Ready);
}

void Qwen3ASRStreamingSession::setState(State state)
{
    if (m_state == state) {
        return;
    }
    m_state = state;
    if (onStateChange) {
        onStateChange(state);
    }
}

void Qwen3ASRStreamingSession::sendInit(const QString& locale)
{
    sendControl({ { "action", "init" }, { "locale", locale }, { "sample_rate", sampleRate } });
}

void Qwen3ASRStreamingSession::sendControl(const QJsonObject& control)
{
    if (!m_socket) {
        return;
    }
    const QString text = QString::fromUtf8(QJsonDocument(control).toJson(QJsonDocument::Compact));
    m_socket->sendText(text, failureLogger(QStringLiteral("[qwen3-v3] control send failed: ")));
}

void Qwen3ASRStreamingSession::watch(platform::WebSocket& socket, ConnectionId id)
{
    // The socket is the context: its events stop with it, and each carries the id of the connection it belongs to.
    QObject::connect(&socket, &platform::WebSocket::textReceived, &socket,
        [this, id](const QString& text) { handleServerMessage(id, text); });
    QObject::connect(
        &socket, &platform::WebSocket::failed, &socket, [this, id, socket = &socket](const QString& error) {
            handleConnectionFailure(id, error, socket->endedForExcess());
        });
}

void Qwen3ASRStreamingSession::handleServerMessage(ConnectionId id, const QString& text)
{
    const bool current = m_socket && id == m_connectionId;
    const bool closing = m_closingSocket && id == m_closingConnectionId;
    if (!current && !closing) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject()) {
        return;
    }
    const QJsonObject message = document.object();
    const QJsonValue type = message.value(QLatin1String("type"));
    if (!type.isString()) {
        return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    if (type == QLatin1String("ready")) {
        // A connection being closed cannot become ready again: the session is already on its way to idle.
        if (!current) {
            return;
        }
        onLog(QStringLiteral("[qwen3-v3] WS ready (state %1 → ready)").arg(toString(m_state)));
        setState(State::Ready);
        if (alive.expired()) {
            return;
        }
        m_retryDelayMs = initialRetryDelayMs;
        m_readyAtMs = m_clock.monotonicMs();
        startHeartbeat();
    } else if (type == QLatin1String("partial")) {
        const QJsonValue partial = message.value(QLatin1String("text"));
        if (partial.isString() && onPartial) {
            onPartial(partial.toString());
        }
    } else if (type == QLatin1String("final")) {
        const QString finalText = textOr(message, "text", {});
        const qint64 firstPartialMs = message.value(QLatin1String("first_partial_ms")).toInteger(0);
        const qint64 finalMs = message.value(QLatin1String("final_ms")).toInteger(0);
        onLog(QStringLiteral("[qwen3-v3] final received (first_partial=%1ms, final=%2ms)")
                .arg(firstPartialMs)
                .arg(finalMs));
        if (m_state == State::InTurn) {
            // A turn that completed shows the worker well again.
            m_excessRetryDelayMs = initialRetryDelayMs;
            setState(State::Ready);
            if (alive.expired()) {
                return;
            }
        }
        if (onFinal) {
            onFinal(finalText, firstPartialMs, finalMs);
        }
    } else if (type == QLatin1String("error")) {
        const QString code = textOr(message, "code", QStringLiteral("unknown"));
        const QString errorMessage = textOr(message, "message", {});
        onLog(QStringLiteral("[qwen3-v3] server error: %1 — %2").arg(code, errorMessage));
        if (onError) {
            onError(code, errorMessage);
            if (alive.expired()) {
                return;
            }
        }
        if (m_state == State::InTurn) {
            setState(State::Ready);
            if (alive.expired()) {
                return;
            }
            turnLost(QStringLiteral("%1 — %2").arg(code, errorMessage));
        }
    }
}

void Qwen3ASRStreamingSession::handleConnectionFailure(ConnectionId id, const QString& error, bool excess)
{
    // Only the current connection's end counts: a connection already replaced, dropped after a failed ping or
    // being closed must neither start a second retry chain nor take the new connection down with it.
    if (!m_socket || id != m_connectionId || m_state == State::ShuttingDown) {
        return;
    }
    onLog(QStringLiteral("[qwen3-v3] WS receive error: ") + error);
    if (excess) {
        holdBackOffAfterExcess();
    }
    transitionToDisconnected();
}

void Qwen3ASRStreamingSession::holdBackOffAfterExcess()
{
    if (m_readyAtMs && m_clock.monotonicMs() - *m_readyAtMs >= healthyAfterMs) {
        m_excessRetryDelayMs = initialRetryDelayMs;
    }
    // The steps stay 1, 2, 4, 8 and 16 s; the ready in between only does not start them over.
    m_retryDelayMs = std::max(m_retryDelayMs, m_excessRetryDelayMs);
    m_excessRetryDelayMs = std::min(m_retryDelayMs * 2, maxRetryDelayMs);
}

void Qwen3ASRStreamingSession::transitionToDisconnected()
{
    // From disconnected too nothing happens: the retry already scheduled is the only one.
    if (m_state == State::Idle || m_state == State::ShuttingDown || m_state == State::Disconnected) {
        return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    const bool wasInTurn = m_state == State::InTurn;
    setState(State::Disconnected);
    if (alive.expired() || m_state != State::Disconnected) {
        return;
    }
    dropConnection(m_socket);
    m_connectionId = 0;
    cancelTimer(m_heartbeatTimer);
    scheduleRetry();
    if (wasInTurn) {
        turnLost(QStringLiteral("the connection dropped during the turn"));
    }
}

void Qwen3ASRStreamingSession::turnLost(const QString& reason)
{
    if (onTurnLost) {
        onTurnLost(reason);
    }
}

void Qwen3ASRStreamingSession::startHeartbeat()
{
    cancelTimer(m_heartbeatTimer);
    m_heartbeatTimer = m_clock.schedule(heartbeatIntervalMs, [this] { heartbeatTick(); });
}

void Qwen3ASRStreamingSession::heartbeatTick()
{
    m_heartbeatTimer = m_clock.schedule(heartbeatIntervalMs, [this] { heartbeatTick(); });
    if (m_socket && (m_state == State::Ready || m_state == State::InTurn)) {
        sendPing();
    }
}

void Qwen3ASRStreamingSession::sendPing()
{
    const std::weak_ptr<bool> alive = m_alive;
    const ConnectionId id = m_connectionId;
    m_socket->ping([this, alive, id](const QString& error) {
        if (error.isEmpty() || alive.expired() || !m_socket || id != m_connectionId) {
            return;
        }
        onLog(QStringLiteral("[qwen3-v3] ping failed: ") + error);
        transitionToDisconnected();
    });
}

void Qwen3ASRStreamingSession::scheduleRetry()
{
    const qint64 delay = m_retryDelayMs;
    m_retryDelayMs = std::min(delay * 2, maxRetryDelayMs);
    const QString locale = m_currentLocale;
    cancelTimer(m_retryTimer);
    m_retryTimer = m_clock.schedule(delay, [this, delay, locale] {
        m_retryTimer = 0;
        if (m_state != State::Disconnected) {
            return;
        }
        onLog(QStringLiteral("[qwen3-v3] retry open() after %1ms").arg(delay));
        const std::weak_ptr<bool> alive = m_alive;
        setState(State::Idle);
        if (!alive.expired()) {
            open(locale);
        }
    });
}

void Qwen3ASRStreamingSession::cancelTimer(common::Clock::TimerId& timer)
{
    if (timer != 0) {
        m_clock.cancel(std::exchange(timer, 0));
    }
}

void Qwen3ASRStreamingSession::dropConnection(std::unique_ptr<platform::WebSocket>& socket)
{
    platform::closeAndRelease(std::move(socket), 1000);
}


std::function<void(const QString&)> Qwen3ASRStreamingSession::failureLogger(const QString& prefix)
{
    return [this, alive = std::weak_ptr<bool>(m_alive), prefix](const QString& error) {
        if (!error.isEmpty() && !alive.expired()) {
            onLog(prefix + error);
        }
    };
}

} // namespace murmeli::voice
