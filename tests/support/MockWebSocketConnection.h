#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include "tests/support/MockHttpMessage.h"

class QTcpSocket;

namespace murmeli::test {

/// The server end of one WebSocket connection of the mock cloud worker. It reads the frames itself rather than
/// through QWebSocket, which answers pings and close frames inside and would leave them unrecorded. Records every
/// message and control frame the client sent, in order, so tests can assert on what reached the worker.
class MockWebSocketConnection final : public QObject {
    Q_OBJECT

public:
    /// One message (reassembled from its fragments) or control frame from the client.
    struct Frame final {
        enum class Kind { Text, Binary, Ping, Pong, Close };
        Kind kind = Kind::Text;
        QByteArray payload;
        std::optional<quint16> closeCode; // for Close: the code it carried, if any
    };

    /// What a hostile worker keeps sending once startFlood() is called.
    enum class Flood {
        OversizeMessage, // one text frame that announces 1.5 GiB and streams it
        EndlessMessage, // one text message whose continuation frames never end
        Pings, // pings as fast as the client takes them, while the client's answers are never read
    };

    /// Frames larger than this end the connection as a protocol error.
    static constexpr qint64 maxFrameBytes = 16 * 1024 * 1024;
    /// The flood's announced message size.
    static constexpr qint64 oversizeMessageBytes = 1536LL * 1024 * 1024;

    /// Takes over socket, whose opening handshake has been answered.
    MockWebSocketConnection(QTcpSocket* socket, MockHttpRequest request, QObject* parent = nullptr);
    ~MockWebSocketConnection() override;

    const MockHttpRequest& request() const { return m_request; }
    bool isOpen() const;
    const std::vector<Frame>& received() const { return m_received; }
    QStringList textMessages() const;
    std::vector<QByteArray> binaryMessages() const;
    int pingCount() const;
    /// The close code of the client's close frame; nullopt when none came.
    std::optional<quint16> clientCloseCode() const;
    /// Frames that broke the protocol (unmasked client frames, unknown opcodes, oversize frames).
    const QStringList& protocolErrors() const { return m_protocolErrors; }

    void sendText(const QString& text);
    void sendJson(const QJsonObject& object);
    void sendBinary(const QByteArray& data);
    /// Starts the closing handshake from the server's side.
    void close(quint16 code = 1000);
    /// Drops the TCP connection without a close frame, as a crashed worker does.
    void drop();
    /// Off: pings from the client go unanswered.
    void setAnswerPings(bool answer) { m_answerPings = answer; }
    /// Sends kind for as long as the connection lasts, topping up only once its own buffer has drained, so that
    /// this end stays small and whatever piles up, piles up at the client.
    void startFlood(Flood kind);

    /// Feeds bytes that arrived with the opening request; called once by the worker after the route is set up.
    void process(const QByteArray& leftover);

    std::function<void(const QString& text)> onText;
    std::function<void(const QByteArray& data)> onBinary;
    std::function<void()> onPing;

Q_SIGNALS:
    /// The TCP connection is gone.
    void ended();

private:
    void readAvailable();
    bool takeFrame();
    void handleFrame(quint8 opcode, bool fin, const QByteArray& payload);
    void writeFrame(quint8 opcode, const QByteArray& payload);
    void topUpFlood();
    QByteArray nextFloodChunk();
    void protocolError(const QString& what);

    QPointer<QTcpSocket> m_socket;
    MockHttpRequest m_request;
    QByteArray m_buffer;
    std::vector<Frame> m_received;
    QStringList m_protocolErrors;
    QByteArray m_fragments;
    quint8 m_fragmentOpcode = 0;
    bool m_answerPings = true;
    bool m_closeSent = false;
    bool m_ended = false;
    std::optional<Flood> m_flood;
    qint64 m_floodedBytes = 0; // what the flood has handed to the connection so far
};

} // namespace murmeli::test
