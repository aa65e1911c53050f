#include "main/voice/streaming/RunTaskStreamer.h"

#include <utility>

#include <QObject>

#include "main/voice/streaming/WebSocketScheme.h"

namespace murmeli::voice {

using Kind = RunTaskProtocol::Event::Kind;

RunTaskStreamer::RunTaskStreamer(common::Clock& clock) : m_clock(clock), m_waiter(clock, resultLimitMs) { }

RunTaskStreamer::~RunTaskStreamer()
{
    close(normalClosure);
}

bool RunTaskStreamer::start(
    CloudSocketSession& sockets, const StreamingConfig& config, const QMap<QString, int>& hotwords)
{
    m_taskId = RunTaskProtocol::newTaskId();
    m_socket = sockets.takePreconnected();
    if (!m_socket) {
        m_socket = sockets.wsSession()->openWebSocket(bearerRequest(config.url, config.authToken, requestTimeoutMs));
    }
    const std::optional<QString> runTask = RunTaskProtocol::runTask(m_taskId, config.model, hotwords);
    if (!m_socket || !runTask) {
        close(normalClosure);
        return false;
    }
    QObject::connect(m_socket.get(), &platform::WebSocket::textReceived, m_socket.get(),
        [this](const QString& frame) { handleText(frame); });
    QObject::connect(m_socket.get(), &platform::WebSocket::failed, m_socket.get(), [this](const QString& error) {
        settle({ std::nullopt, error });
    });
    // The socket keeps its sends in order, even before its handshake has finished: run-task leaves first.
    m_socket->sendText(*runTask);
    return true;
}

void RunTaskStreamer::sendPiece(const QByteArray& piece)
{
    if (m_socket) {
        m_socket->sendBinary(piece);
    }
}

QCoro::Task<FinalTextOutcome> RunTaskStreamer::finish(QByteArray tail)
{
    if (!tail.isEmpty()) {
        sendAndWatch(&tail, nullptr);
    }
    const QString finishTask = RunTaskProtocol::finishTask(m_taskId);
    sendAndWatch(nullptr, &finishTask);
    FinalTextOutcome outcome;
    if (m_outcome) {
        outcome = *m_outcome;
    } else if (!m_socket) {
        outcome = { std::nullopt, QStringLiteral("the streaming socket is gone") };
    } else {
        const common::OneShot<FinalTextOutcome> waiting = m_waiter.arm();
        outcome = co_await waiting;
        m_outcome = outcome;
    }
    close(outcome.text ? normalClosure : goingAway);
    co_return outcome;
}

void RunTaskStreamer::abandon()
{
    close(normalClosure);
    m_taskId.clear();
    settle({ std::nullopt, QStringLiteral("the take was given up") });
}

void RunTaskStreamer::handleText(const QString& frame)
{
    const RunTaskProtocol::Event event = RunTaskProtocol::parseEvent(frame);
    switch (event.kind) {
    case Kind::Result: {
        const QString running = m_transcript.add(event.text, event.sentenceEnd);
        if (onPartialText) {
            onPartialText(running);
        }
        break;
    }
    case Kind::Finished:
        settle({ m_transcript.finalText(), {} });
        break;
    case Kind::Failed:
        settle({ std::nullopt, event.text });
        break;
    case Kind::Ignored:
        break;
    }
}

void RunTaskStreamer::settle(FinalTextOutcome outcome)
{
    if (m_outcome) {
        return;
    }
    m_outcome = outcome;
    if (outcome.text) {
        m_waiter.deliver(*outcome.text);
    } else {
        m_waiter.fail(outcome.error);
    }
}

void RunTaskStreamer::sendAndWatch(const QByteArray* binary, const QString* text)
{
    if (!m_socket) {
        return;
    }
    // A completion may come after this object is gone: the socket posts it and is released only later.
    auto done = [this, alive = std::weak_ptr<bool>(m_alive)](const QString& error) {
        if (!alive.expired() && !error.isEmpty()) {
            settle({ std::nullopt, error });
        }
    };
    if (binary) {
        m_socket->sendBinary(*binary, done);
    } else {
        m_socket->sendText(*text, done);
    }
}

void RunTaskStreamer::close(quint16 code)
{
    platform::closeAndRelease(std::move(m_socket), code);
}

} // namespace murmeli::voice
