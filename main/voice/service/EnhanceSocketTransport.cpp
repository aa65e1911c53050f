#include "main/voice/service/EnhanceSocketTransport.h"

#include <QObject>
#include <QPointer>

#include "main/voice/enhance/SpeechEnhancerFrame.h"
#include "main/voice/streaming/FinalTextWaiter.h"
#include "main/voice/streaming/WebSocketScheme.h"
#include "platform/net/NetworkSession.h"

namespace murmeli::voice {

/// Ends the socket when the exchange ends: a normal closure, and the object let go on the next turn of the event
/// loop, since the exchange may end inside one of the socket's own signals.
struct EnhanceSocketTransport::SocketCloser {
    void operator()(platform::WebSocket* socket) const
    {
        socket->close(1000);
        socket->deleteLater();
    }
};

EnhanceSocketTransport::EnhanceSocketTransport(SessionSource session, common::Clock& clock)
    : m_session(std::move(session)), m_clock(clock)
{
}

QCoro::Task<std::optional<QString>> EnhanceSocketTransport::send(
    QString requestJson, QString workerURL, QString token, int timeoutMs)
{
    const std::optional<QUrl> url = webSocketEndpoint(workerURL, QString::fromLatin1(path));
    const std::shared_ptr<platform::NetworkSession> session = m_session ? m_session() : nullptr;
    if (!url || !session) {
        co_return std::nullopt;
    }
    // A second beyond the exchange's own limit: the handshake never outlives the exchange that waits for it.
    const int handshakeTimeoutMs = (timeoutMs / 1000 + 1) * 1000;

    // Declared in this order so they go in reverse: the connections first, then the waiter, then the socket.
    const std::unique_ptr<platform::WebSocket, SocketCloser> socket(
        session->openWebSocket(bearerRequest(*url, token, handshakeTimeoutMs)).release());
    if (!socket) {
        co_return std::nullopt;
    }
    FinalTextWaiter reply(m_clock, timeoutMs);
    QObject exchange;
    const QPointer<QObject> alive(&exchange);

    QObject::connect(socket.get(), &platform::WebSocket::textReceived, &exchange, [&reply](const QString& text) {
        if (SpeechEnhancerFrame::endsExchange(text)) {
            reply.deliver(text);
        }
    });
    QObject::connect(
        socket.get(), &platform::WebSocket::failed, &exchange, [&reply](const QString& error) { reply.fail(error); });
    socket->sendText(requestJson, [alive, &reply](const QString& error) {
        if (alive && !error.isEmpty()) {
            reply.fail(error);
        }
    });

    const common::OneShot<FinalTextOutcome> outcome = reply.arm();
    const FinalTextOutcome result = co_await outcome;
    co_return result.text;
}

} // namespace murmeli::voice
