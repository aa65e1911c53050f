#pragma once

#include <deque>

#include <QAbstractSocket>
#include <QNetworkProxy>
#include <QPointer>
#include <QTimer>

#include "platform/net/WebSocket.h"

class QWebSocket;

namespace murmeli::platform {

/// A WebSocket client over QWebSocket, with what QWebSocket leaves out: a handshake time-out, sends and pings that
/// wait for the handshake, a completion for every send and ping, and a bound on what waits to be written.
class QtWebSocket final : public WebSocket {
    Q_OBJECT

public:
    /// How long a closed socket is kept to finish its closing handshake after its owner let go of it.
    static constexpr int closingLingerMs = 5000;

    QtWebSocket(const WebSocketRequest& request, const QNetworkProxy& proxy);
    ~QtWebSocket() override;

    State state() const override;
    QString errorString() const override;
    bool endedForExcess() const override;
    void sendText(const QString& text, Completion done) override;
    void sendBinary(const QByteArray& data, Completion done) override;
    void ping(Completion done) override;
    void close(quint16 code, const QString& reason) override;

private:
    struct Outgoing {
        enum class Kind { Text, Binary, Ping };
        Kind kind = Kind::Text;
        QString text;
        QByteArray data;
        Completion done;
    };
    struct PendingPing {
        QByteArray payload;
        Completion done;
    };

    void start(const WebSocketRequest& request);
    void onConnected();
    void onDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onPong(quint64 elapsedMs, const QByteArray& payload);
    void onHandshakeTimeout();
    void onAboutToClose();
    Q_SLOT void onReaderRefused();
    /// Ends the connection when more than maxUnsentBytes wait to be written: a peer that does not read (or pings
    /// faster than it reads the pongs) would otherwise grow our write buffer without end.
    void checkUnsent();
    void write(Outgoing outgoing);
    /// Ends the connection once: fails what still waits, reports error (unless we closed it) and becomes Closed.
    void finish(const QString& error);
    void setState(State state);
    void complete(const Completion& done, const QString& error);
    QString describeSocketError() const;

    QPointer<QWebSocket> m_socket; // no parent: it may outlive us to finish a closing handshake
    QTimer m_handshakeTimer;
    std::deque<Outgoing> m_waiting; // sends and pings made before the handshake finished
    std::deque<PendingPing> m_pings; // sent, waiting for their pong
    State m_state = State::Connecting;
    QString m_error;
    quint64 m_pingCounter = 0;
    bool m_closedByUs = false;
    bool m_endedForExcess = false;
    bool m_readerHeard = false; // QWebSocket's reader reports its refusals to us
    bool m_readerRefused = false; // it refused what the peer sent, so the close that follows is QWebSocket's own
};

} // namespace murmeli::platform
