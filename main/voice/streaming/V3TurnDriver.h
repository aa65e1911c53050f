#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/voice/streaming/FinalTextWaiter.h"
#include "main/voice/streaming/Qwen3ASRStreamingSession.h"

namespace murmeli::voice {

/// Runs streaming takes as turns of the engine's long-lived v3 session: begins the turn, hands it the pieces, ends it
/// with the tail and waits for the final text, or cancels it. The session belongs to the engine's keeper and may be
/// replaced at any time, so every step asks for the current one. Lives on the main thread.
class V3TurnDriver final {
public:
    using SessionProvider = std::function<Qwen3ASRStreamingSession*()>;

    /// How a turn's end came out.
    struct TurnEnd final {
        FinalTextOutcome outcome;
        /// No session was there to end the turn on; outcome then carries no text.
        bool sessionLost = false;
    };

    /// finalLimitMs bounds the wait for the final text after the end of the turn was sent.
    V3TurnDriver(SessionProvider session, common::Clock& clock, qint64 finalLimitMs = FinalTextWaiter::defaultLimitMs);
    ~V3TurnDriver();
    V3TurnDriver(const V3TurnDriver&) = delete;
    V3TurnDriver& operator=(const V3TurnDriver&) = delete;

    /// The current session when there is one and it is ready for a turn.
    Qwen3ASRStreamingSession* readySession() const;
    /// Installs this driver's callbacks on the session and begins a turn in locale.
    void beginTurn(Qwen3ASRStreamingSession& session, const QString& locale);
    /// One piece of the turn, to the current session.
    void feedAudio(const QByteArray& piece);
    /// Feeds the tail (when there is one), ends the turn and waits for the final text. A turn the session already
    /// lost (its connection dropped, the server reported an error) fails at once rather than waiting.
    QCoro::Task<TurnEnd> endTurn(QByteArray tail);
    /// A take too short to transcribe, or given up: the turn goes back to ready without telling the server, and a
    /// wait for its final text ends with an error.
    void cancelTurn();
    /// Whether the end of a turn waits for its final text.
    bool isWaiting() const { return m_waiter.isWaiting(); }

    /// The session's running text of the current turn.
    std::function<void(const QString& text)> onPartialText;
    /// The server's error during a turn, as "Cloud STT error: <code> — <message>".
    std::function<void(const QString& message)> onNotice;

private:
    void install(Qwen3ASRStreamingSession& session);

    SessionProvider m_session;
    FinalTextWaiter m_waiter;
    // Why the running turn was lost before its end, if it was.
    std::optional<QString> m_lost;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace murmeli::voice
