#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QMap>
#include <QString>

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/voice/streaming/CloudSocketSession.h"
#include "main/voice/streaming/FinalTextWaiter.h"
#include "main/voice/streaming/RunTaskProtocol.h"
#include "platform/net/WebSocket.h"

namespace murmeli::voice {

/// One streaming take over the older endpoint: its own socket (the one opened ahead of the take when it is still
/// fresh), the run-task frame first, the pieces in order, then the tail and finish-task; the running text as the
/// server sends it, and the task's final text or why there is none. Lives on the main thread.
class RunTaskStreamer final {
public:
    static constexpr int requestTimeoutMs = 30000;
    static constexpr quint16 normalClosure = 1000;
    static constexpr quint16 goingAway = 1001;
    /// How long the end of a take waits for the task's result once finish-task is out: a worker that takes the
    /// audio and never answers must not hold the take for ever.
    static constexpr qint64 resultLimitMs = 10000;

    explicit RunTaskStreamer(common::Clock& clock);
    /// A socket still open is closed normally.
    ~RunTaskStreamer();
    RunTaskStreamer(const RunTaskStreamer&) = delete;
    RunTaskStreamer& operator=(const RunTaskStreamer&) = delete;

    /// Takes the fresh socket opened ahead of the take or opens one, and queues run-task on it. false when the
    /// run-task message cannot be made (the socket is closed again).
    bool start(CloudSocketSession& sockets, const StreamingConfig& config, const QMap<QString, int>& hotwords);
    /// Sends one piece after everything sent before; a failed send is left to the reader and the finish to notice.
    void sendPiece(const QByteArray& piece);
    /// Sends the tail (when there is one) and finish-task and waits for the task's outcome: the final text (possibly
    /// empty) or why there is none. The socket is closed with 1000 after a text and 1001 after a failure.
    QCoro::Task<FinalTextOutcome> finish(QByteArray tail);
    /// A take too short to transcribe, or given up: closes the socket normally and forgets the task; a finish
    /// still waiting ends with an error.
    void abandon();

    const QString& taskId() const { return m_taskId; }

    /// The ended sentences and the current one, each time the server sends a result.
    std::function<void(const QString& text)> onPartialText;

private:
    void handleText(const QString& frame);
    void settle(FinalTextOutcome outcome);
    void sendAndWatch(const QByteArray* binary, const QString* text);
    void close(quint16 code);

    common::Clock& m_clock;
    std::unique_ptr<platform::WebSocket> m_socket;
    QString m_taskId;
    RunTaskProtocol::Transcript m_transcript;
    // The first outcome wins: a socket failure, a failed send at the end or the server's own word.
    std::optional<FinalTextOutcome> m_outcome;
    FinalTextWaiter m_waiter;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace murmeli::voice
