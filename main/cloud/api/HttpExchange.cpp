#include "main/cloud/api/HttpExchange.h"

#include <utility>

#include <QSslSocket>
#include <QTcpSocket>

namespace murmeli::cloud {

namespace {

// What the socket may hold between two of our reads; the reader keeps the rest within its own limits.
constexpr qint64 readBufferBytes = 64 * 1024;

} // namespace

void HttpExchange::SocketDeleter::operator()(QTcpSocket* socket) const
{
    socket->abort();
    // We may be inside one of its signals.
    socket->deleteLater();
}

HttpExchange::HttpExchange(const QUrl& url, QByteArray wire, const QNetworkProxy& proxy, qint64 maxBodyBytes)
    : m_wire(std::move(wire)), m_reader(maxHeadBytes, maxBodyBytes)
{
    const bool secure = url.scheme() == QLatin1String("https");
    QSslSocket* tls = secure ? new QSslSocket : nullptr;
    m_socket.reset(tls ? tls : new QTcpSocket);
    QTcpSocket* socket = m_socket.get();
    socket->setReadBufferSize(readBufferBytes);
    socket->setProxy(proxy);

    const auto write = [this] { m_socket->write(std::exchange(m_wire, {})); };
    if (tls) {
        QObject::connect(tls, &QSslSocket::encrypted, &m_context, write);
    } else {
        QObject::connect(socket, &QTcpSocket::connected, &m_context, write);
    }
    QObject::connect(socket, &QIODevice::readyRead, &m_context, [this] { readAvailable(); });
    QObject::connect(socket, &QAbstractSocket::disconnected, &m_context, [this] { peerClosed(); });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, &m_context, [this](QAbstractSocket::SocketError error) {
        // A reply may run to the close; disconnected() tells whether it did.
        if (error != QAbstractSocket::RemoteHostClosedError) {
            fail({ Failure::Kind::Transport, m_socket->errorString() });
        }
    });

    const quint16 port = static_cast<quint16>(url.port(secure ? 443 : 80));
    if (tls) {
        tls->connectToHostEncrypted(url.host(), port);
    } else {
        socket->connectToHost(url.host(), port);
    }
}

HttpExchange::~HttpExchange()
{
    m_socket->disconnect(&m_context);
}

void HttpExchange::fail(Failure failure)
{
    end(std::move(failure));
}

void HttpExchange::readAvailable()
{
    while (!m_ended && m_socket->bytesAvailable() > 0) {
        switch (m_reader.feed(m_socket->read(readBufferBytes))) {
        case HttpReplyReader::State::Reading:
            break;
        case HttpReplyReader::State::Done:
            end(CloudHttpClient::Reply { m_reader.status(), m_reader.headers(), m_reader.body() });
            return;
        case HttpReplyReader::State::NotHttp:
            fail({ Failure::Kind::NotHttp, QStringLiteral("The reply is not an HTTP response.") });
            return;
        case HttpReplyReader::State::Oversized:
            fail({ Failure::Kind::Oversized, QStringLiteral("The reply is too large.") });
            return;
        case HttpReplyReader::State::Broken:
            fail({ Failure::Kind::Transport, QStringLiteral("The reply is malformed.") });
            return;
        }
    }
}

void HttpExchange::peerClosed()
{
    // What came in before the close is still there to read.
    readAvailable();
    if (m_ended) {
        return;
    }
    if (m_reader.finish() == HttpReplyReader::State::Done) {
        end(CloudHttpClient::Reply { m_reader.status(), m_reader.headers(), m_reader.body() });
        return;
    }
    fail({ Failure::Kind::Transport,
        QStringLiteral("The server closed the connection before the reply was complete.") });
}

void HttpExchange::end(Outcome outcome)
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_socket->disconnect(&m_context);
    // The connection serves this one request: whatever the server still sends goes nowhere.
    m_socket->abort();
    QMetaObject::invokeMethod(
        &m_context, [result = m_outcome, outcome = std::move(outcome)]() mutable { result.fulfil(std::move(outcome)); },
        Qt::QueuedConnection);
}

} // namespace murmeli::cloud
