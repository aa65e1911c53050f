#include "main/voice/streaming/V3TurnDriver.h"

#include <utility>

namespace murmeli::voice {

V3TurnDriver::V3TurnDriver(SessionProvider session, common::Clock& clock, qint64 finalLimitMs)
    : m_session(std::move(session)), m_waiter(clock, finalLimitMs)
{
}

V3TurnDriver::~V3TurnDriver() = default;

Qwen3ASRStreamingSession* V3TurnDriver::readySession() const
{
    Qwen3ASRStreamingSession* session = m_session ? m_session() : nullptr;
    return session && session->isReady() ? session : nullptr;
}

void V3TurnDriver::beginTurn(Qwen3ASRStreamingSession& session, const QString& locale)
{
    m_lost.reset();
    install(session);
    session.beginTurn(locale);
}

void V3TurnDriver::feedAudio(const QByteArray& piece)
{
    if (Qwen3ASRStreamingSession* session = m_session ? m_session() : nullptr) {
        session->feedAudio(piece);
    }
}

QCoro::Task<V3TurnDriver::TurnEnd> V3TurnDriver::endTurn(QByteArray tail)
{
    Qwen3ASRStreamingSession* session = m_session ? m_session() : nullptr;
    if (!session) {
        co_return TurnEnd { { std::nullopt, QStringLiteral("v3 session lost") }, true };
    }
    if (!tail.isEmpty()) {
        session->feedAudio(tail);
    }
    // The session's turn may be gone already: its final will never come, and waiting for it would only delay the
    // fallback by the whole limit.
    if (!m_lost && !session->isInTurn()) {
        m_lost = QStringLiteral("the session was no longer in the turn");
    }
    if (m_lost) {
        co_return TurnEnd { { std::nullopt, *std::exchange(m_lost, std::nullopt) }, false };
    }
    const common::OneShot<FinalTextOutcome> waiting = m_waiter.arm();
    const std::weak_ptr<bool> alive = m_alive;
    session->endTurn();
    const FinalTextOutcome outcome = co_await waiting;
    // A turn given up without its final would hold the session in it for good, and every later take would find it
    // busy; a final that still comes is then dropped.
    if (!outcome.text && !alive.expired()) {
        cancelTurn();
    }
    co_return TurnEnd { outcome, false };
}

void V3TurnDriver::cancelTurn()
{
    m_lost.reset();
    m_waiter.fail(QStringLiteral("the turn was cancelled"));
    if (Qwen3ASRStreamingSession* session = m_session ? m_session() : nullptr) {
        session->cancelTurn();
    }
}

void V3TurnDriver::install(Qwen3ASRStreamingSession& session)
{
    // Each callback replaces the one of the previous turn and does nothing once the driver is gone.
    const std::weak_ptr<bool> alive = m_alive;
    session.onPartial = [this, alive](const QString& text) {
        if (!alive.expired() && onPartialText) {
            onPartialText(text);
        }
    };
    session.onFinal = [this, alive](const QString& text, qint64, qint64) {
        // A final nobody waits for (a late one, one of a cancelled turn) is dropped.
        if (!alive.expired()) {
            m_waiter.deliver(text);
        }
    };
    session.onError = [this, alive](const QString& code, const QString& message) {
        if (!alive.expired() && onNotice) {
            onNotice(QStringLiteral("Cloud STT error: ") + code + QStringLiteral(" — ") + message);
        }
    };
    session.onTurnLost = [this, alive](const QString& reason) {
        if (alive.expired()) {
            return;
        }
        if (!m_waiter.fail(reason)) {
            m_lost = reason;
        }
    };
}

} // namespace murmeli::voice
