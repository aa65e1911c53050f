#pragma once

#include <memory>

#include <QByteArray>
#include <QNetworkProxy>
#include <QObject>
#include <QUrl>

#include "main/cloud/api/CloudHttpClient.h"
#include "main/cloud/api/HttpReplyReader.h"
#include "main/common/OneShot.h"

class QTcpSocket;

namespace murmeli::cloud {

/// One request on a connection of its own: connects to the address's host (TLS for https, through the proxy),
/// writes the request once it can, and reads the reply with an HttpReplyReader as it arrives. The socket is read
/// here, on the owner's thread, so a failure drops the connection at once: nothing of a failed exchange goes on
/// reading or holding memory.
class HttpExchange final {
public:
    using Failure = CloudHttpClient::Failure;
    using Outcome = CloudHttpClient::Outcome;

    /// Replies whose head (status line, fields, trailers) is larger than this are not the service talking.
    static constexpr qint64 maxHeadBytes = 64 * 1024;

    /// Starts at once. url must be an http(s) address with a host; wire is the whole request as it goes out.
    HttpExchange(const QUrl& url, QByteArray wire, const QNetworkProxy& proxy, qint64 maxBodyBytes);
    ~HttpExchange();
    Q_DISABLE_COPY_MOVE(HttpExchange)

    /// Ends the exchange with failure and drops the connection, unless it has already ended.
    void fail(Failure failure);
    /// The outcome, handed over from the event loop, never from inside one of the socket's signals: the waiter may
    /// well destroy this exchange when it resumes.
    const common::OneShot<Outcome>& outcome() const { return m_outcome; }

private:
    struct SocketDeleter {
        void operator()(QTcpSocket* socket) const;
    };

    void readAvailable();
    void peerClosed();
    void end(Outcome outcome);

    QObject m_context; // receives the socket's signals; gone with the exchange
    std::unique_ptr<QTcpSocket, SocketDeleter> m_socket;
    QByteArray m_wire;
    HttpReplyReader m_reader;
    common::OneShot<Outcome> m_outcome;
    bool m_ended = false;
};

} // namespace murmeli::cloud
