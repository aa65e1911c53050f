#pragma once

#include <optional>
#include <vector>

#include "platform/net/WebSocket.h"

namespace murmeli::platform {

/// A WebSocket for tests: records what its owner sends and lets the test play the server (open, messages, failure,
/// pongs). Completions are delivered on the next turn of the event loop, as the real socket does.
class FakeWebSocket final : public WebSocket {
    Q_OBJECT

public:
    struct Sent final {
        bool binary = false;
        QByteArray data; // UTF-8 for a text message
    };

    explicit FakeWebSocket(WebSocketRequest request);

    State state() const override;
    QString errorString() const override;
    bool endedForExcess() const override;
    void sendText(const QString& text, Completion done) override;
    void sendBinary(const QByteArray& data, Completion done) override;
    void ping(Completion done) override;
    void close(quint16 code, const QString& reason) override;

    const WebSocketRequest& request() const { return m_request; }
    /// Every message sent, in order, including those still waiting for the handshake.
    const std::vector<Sent>& sent() const { return m_sent; }
    /// The text messages among sent(), in order.
    QStringList sentTexts() const;
    int pingCount() const { return m_pingCount; }
    int pendingPings() const { return static_cast<int>(m_pings.size()); }
    std::optional<quint16> closeCode() const { return m_closeCode; }

    /// The handshake finishes: waiting sends complete and opened() is emitted.
    void acceptHandshake();
    void receiveText(const QString& text);
    void receiveBinary(const QByteArray& data);
    /// The connection fails (handshake refused, network lost, peer gone); excess: murmeli ended it because the peer
    /// sent too much.
    void fail(const QString& error, bool excess = false);
    /// Answers the oldest ping: with its pong when error is empty, else with that failure.
    void answerPing(const QString& error = {});
    /// From now on every send completes with this error ("" for success).
    void setSendError(const QString& error) { m_sendError = error; }

private:
    void record(Sent message, Completion done);
    void complete(const Completion& done, const QString& error);
    void setState(State state);

    WebSocketRequest m_request;
    State m_state = State::Connecting;
    QString m_error;
    QString m_sendError;
    bool m_endedForExcess = false;
    std::vector<Sent> m_sent;
    std::vector<Completion> m_waitingSends; // completions of sends made before the handshake finished
    std::vector<Completion> m_pings;
    int m_pingCount = 0;
    std::optional<quint16> m_closeCode;
};

} // namespace murmeli::platform
