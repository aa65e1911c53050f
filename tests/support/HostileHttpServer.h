#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "tests/support/MockHttpMessage.h"

class QTcpServer;
class QTcpSocket;

namespace murmeli::test {

/// A server on 127.0.0.1, plain or TLS, that answers every request the way it is told, including ways no honest
/// server would: a body far larger than it says, a chunked body or a header block that never ends, or a stop in the
/// middle with the connection held open. What it streams it writes only as fast as the peer reads, so a client
/// that stops reading costs the test process nothing. It keeps every request it read and counts the connections
/// the peer closed. Named as an HTTP proxy, it opens every tunnel asked for and answers what comes through it.
class HostileHttpServer final : public QObject {
    Q_OBJECT

public:
    enum class Act {
        Answer, ///< the reply as it is, with its length, then the connection is closed
        LongBody, ///< the reply's status and headers with "Content-Length: <bodyBytes>", then that many bytes
        BodyToClose, ///< the reply's status and headers without a length, then bodyBytes bytes, then the close
        EndlessChunks, ///< the reply's status and headers, "Transfer-Encoding: chunked", then chunks for ever
        EndlessHeaders, ///< a status line, then header lines for ever; the blank line never comes
    };

    struct Script final {
        Act act = Act::Answer;
        MockHttpReply reply;
        /// The body a LongBody declares and sends, or a BodyToClose sends.
        qint64 bodyBytes = 0;
        /// Once this many bytes are out, the server sends nothing more and holds the connection open; -1: never.
        qint64 stallAfterBytes = -1;
    };

    HostileHttpServer();
    ~HostileHttpServer() override;
    Q_DISABLE_COPY_MOVE(HostileHttpServer)

    /// Listens for plain HTTP.
    bool start();
    /// Listens for HTTPS with the loopback certificate (tests/support/LoopbackTls.h).
    bool startTls();
    /// "http://127.0.0.1:<port>", or https for a TLS server.
    QString baseUrl() const;
    /// Every later request is answered this way.
    void script(Script script) { m_script = std::move(script); }

    /// The requests read, oldest first.
    const std::vector<MockHttpRequest>& requests() const { return m_requests; }
    /// Bytes written to peers so far, over every connection.
    qint64 bytesSent() const { return m_bytesSent; }
    /// Connections whose peer has gone, whether it closed or aborted them.
    int closedByPeer() const { return m_closedByPeer; }
    /// Connections still open.
    int openConnections() const;

private:
    struct Feed final {
        Script script;
        qint64 bodyLeft = 0; // LongBody, BodyToClose: body bytes still to send
        qint64 sent = 0; // on this connection
        qint64 sequence = 0; // EndlessHeaders: the next header line's number
    };

    bool listen(std::unique_ptr<QTcpServer> server);
    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket);
    void feed(QTcpSocket* socket);
    void send(QTcpSocket* socket, const QByteArray& bytes);

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    Script m_script;
    std::vector<MockHttpRequest> m_requests;
    std::vector<QTcpSocket*> m_sockets;
    std::map<QTcpSocket*, Feed> m_feeds;
    qint64 m_bytesSent = 0;
    int m_closedByPeer = 0;
};

} // namespace murmeli::test
