#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace murmeli::platform {

/// The opening request of a WebSocket client connection.
struct WebSocketRequest final {
    QUrl url;
    /// Extra header lines of the opening HTTP request, such as the bearer token.
    QList<std::pair<QByteArray, QByteArray>> headers;
    /// How long the opening handshake may take before the connection is given up; 0 sets no limit of our own.
    int handshakeTimeoutMs = 0;
};

/// One WebSocket client connection, started when it is created. Lives on the thread that created it, which must
/// run an event loop; every signal and completion is delivered there.
class WebSocket : public QObject {
    Q_OBJECT

public:
    enum class State { Connecting, Open, Closing, Closed };
    Q_ENUM(State)

    /// The largest message (and frame) taken from the peer; the cloud worker's replies are small JSON, far below it.
    static constexpr qint64 maxIncomingMessageBytes = 4 * 1024 * 1024;
    /// The most bytes left waiting to be written (our sends and the protocol's own answers to the peer's pings).
    static constexpr qint64 maxUnsentBytes = 4 * 1024 * 1024;

    /// The outcome of one send or ping, always later than the call: "" when the frame was handed to the connection
    /// (for a ping: when its pong came back), else why not. Called at most once; dropped when the socket is destroyed.
    using Completion = std::function<void(const QString& error)>;

    WebSocket() = default;
    ~WebSocket() override = default;
    Q_DISABLE_COPY_MOVE(WebSocket)

    virtual State state() const = 0;
    /// Why the connection failed, or "" while it has not.
    virtual QString errorString() const = 0;
    /// Whether murmeli ended the connection because the peer sent too much: a message over the size bound, or more
    /// than it read (answers or sends left unwritten beyond the bound).
    virtual bool endedForExcess() const = 0;
    /// Sends one text message; before the handshake has finished it waits in order with the other sends.
    virtual void sendText(const QString& text, Completion done = {}) = 0;
    /// Sends one binary message, queued like sendText.
    virtual void sendBinary(const QByteArray& data, Completion done = {}) = 0;
    /// Sends a protocol ping (queued like a send); done learns whether its pong came back before the connection ended.
    virtual void ping(Completion done) = 0;
    /// Ends the connection with the close code; one that has not finished its handshake is dropped. Sends still
    /// waiting fail. After close() the socket emits no failed().
    virtual void close(quint16 code = 1000, const QString& reason = {}) = 0;

Q_SIGNALS:
    void opened();
    void textReceived(const QString& text);
    void binaryReceived(const QByteArray& data);
    void stateChanged(murmeli::platform::WebSocket::State state);
    /// The handshake failed or timed out, the network failed, the peer ended the connection, or murmeli ended it
    /// because the peer sent too much: emitted once, just before the state becomes Closed.
    void failed(const QString& error);
};

/// Closes socket with code and lets it go on the next turn of the event loop: never deleted at once, because the
/// caller may be running inside one of the socket's own signals or completions. Its signals reach no one afterwards.
inline void closeAndRelease(std::unique_ptr<WebSocket> socket, quint16 code = 1000)
{
    if (!socket) {
        return;
    }
    QObject::disconnect(socket.get(), nullptr, nullptr, nullptr);
    socket->close(code);
    socket.release()->deleteLater();
}

} // namespace murmeli::platform
