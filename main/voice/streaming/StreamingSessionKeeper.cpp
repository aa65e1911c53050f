#include "main/voice/streaming/StreamingSessionKeeper.h"

#include <utility>

#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/preferences/LocaleNormalizer.h"
#include "main/voice/streaming/WebSocketScheme.h"

namespace murmeli::voice {

using voice::Qwen3ASRStreamingSession;

StreamingSessionKeeper::StreamingSessionKeeper(
    SpeechEngine& engine, const platform::Defaults& defaults, common::Clock& clock)
    : m_engine(engine), m_defaults(defaults), m_clock(clock)
{
}

StreamingSessionKeeper::~StreamingSessionKeeper() = default;

void StreamingSessionKeeper::openIfEligible()
{
    const QString token = m_engine.cloudToken();
    if (token.isEmpty() || m_engine.effectiveBackendId() != QLatin1String(voice::SpeechBackends::cloudStreamingId)) {
        return;
    }
    const QString workerUrl = m_engine.cloudWorkerURL();
    const std::optional<QUrl> endpoint = voice::webSocketEndpoint(workerUrl, QString::fromLatin1(endpointPath));
    if (!endpoint) {
        onLog(QStringLiteral("[qwen3-v3] invalid cloudWorkerURL: ") + workerUrl, common::LogColor::Red);
        return;
    }
    sweepRetired();
    if (m_session) {
        const Qwen3ASRStreamingSession::State state = m_session->state();
        if (state == Qwen3ASRStreamingSession::State::ShuttingDown) {
            // Still closing from a moment ago: it finishes on its own, and a new one opens in its place.
            retire(std::move(m_session));
        } else if (state != Qwen3ASRStreamingSession::State::Idle
            && state != Qwen3ASRStreamingSession::State::Disconnected) {
            // Connected or connecting already: a second connection would only compete with it.
            m_session->updateToken(token);
            return;
        }
    }
    if (!m_session) {
        m_session = std::make_unique<Qwen3ASRStreamingSession>(*endpoint, token, m_engine.wsSession(), m_clock);
    }
    m_session->updateToken(token);
    install(*m_session);
    m_session->open(LocaleNormalizer::effectiveLocale(m_defaults));
}

void StreamingSessionKeeper::close()
{
    if (m_session) {
        m_session->close();
    }
}

void StreamingSessionKeeper::discard()
{
    sweepRetired();
    if (m_session) {
        retire(std::move(m_session));
    }
}

void StreamingSessionKeeper::reopenAfterProxyChange()
{
    discard();
    openIfEligible();
}

void StreamingSessionKeeper::install(Qwen3ASRStreamingSession& session)
{
    session.onLog = [this](const QString& line) { onLog(line, common::LogColor::Blue); };
    session.onStateChange
        = [this, target = &session](Qwen3ASRStreamingSession::State state) { stateChanged(target, state); };
}

void StreamingSessionKeeper::stateChanged(
    const Qwen3ASRStreamingSession* session, Qwen3ASRStreamingSession::State state)
{
    // A session let go of speaks only while no newer one has taken its place; otherwise its closing would
    // overwrite the state of the session in use.
    if (session != m_session.get() && m_session) {
        return;
    }
    if (onStateChanged) {
        onStateChanged(voice::toString(state));
    }
    if (state != Qwen3ASRStreamingSession::State::Disconnected) {
        return;
    }
    const qint64 now = m_clock.continuousMs();
    if (!m_lastDisconnectNoticeMs || now - *m_lastDisconnectNoticeMs >= disconnectNoticeIntervalMs) {
        m_lastDisconnectNoticeMs = now;
        onLog(QString::fromUtf8(disconnectNotice), common::LogColor::Orange);
    }
}

void StreamingSessionKeeper::retire(std::unique_ptr<Qwen3ASRStreamingSession> session)
{
    Qwen3ASRStreamingSession& closing = *session;
    m_retired.push_back(std::move(session));
    closing.close();
}

void StreamingSessionKeeper::sweepRetired()
{
    std::erase_if(m_retired, [](const std::unique_ptr<Qwen3ASRStreamingSession>& session) {
        return session->state() == Qwen3ASRStreamingSession::State::Idle;
    });
}


} // namespace murmeli::voice
