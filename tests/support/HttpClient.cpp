#include "tests/support/HttpClient.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/Wait.h"

namespace murmeli::test {

HttpClient::HttpClient(quint16 port) : m_socket(new QTcpSocket)
{
    m_socket->connectToHost(QHostAddress::LocalHost, port);
    // A server may close the connection as soon as it is accepted: waiting for the connected state alone could
    // miss it.
    waitUntil(
        [this] {
            const auto state = m_socket->state();
            return state != QAbstractSocket::HostLookupState && state != QAbstractSocket::ConnectingState;
        },
        5000);
}

HttpClient::~HttpClient()
{
    m_socket->abort();
    delete m_socket;
}

bool HttpClient::connected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void HttpClient::write(const QByteArray& bytes)
{
    m_socket->write(bytes);
    m_socket->flush();
    waitUntil([this] { return m_socket->bytesToWrite() == 0; }, 5000);
}

QByteArray HttpClient::readUntilClosed(int timeoutMs)
{
    waitUntil(
        [this] {
            m_received += m_socket->readAll();
            return m_socket->state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
    m_received += m_socket->readAll();
    return m_received;
}

bool HttpClient::closedByServer() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState;
}

void HttpClient::finishSending()
{
    ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
}

void HttpClient::close()
{
    m_socket->abort();
}

QByteArray postHook(quint16 port, const QString& path, const QByteArray& body, const QByteArray& extraHeaders)
{
    HttpClient client(port);
    client.write("POST " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    return client.readUntilClosed();
}

QByteArray expectedReply(int status, const QByteArray& reason, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " " + reason
        + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

QString whyNoOtherUser()
{
    if (::geteuid() != 0) {
        return QStringLiteral("only root can run a process as another user");
    }
    for (const char* tool : { "/usr/bin/setpriv", "/usr/bin/python3" }) {
        if (!QFileInfo(QLatin1String(tool)).isExecutable()) {
            return QStringLiteral("%1 is missing").arg(QLatin1String(tool));
        }
    }
    return {};
}

QByteArray exchangeAsOtherUser(quint16 port, const QByteArray& request)
{
    QProcess client;
    // A folder the other user may enter.
    client.setWorkingDirectory(QStringLiteral("/"));
    client.start(QStringLiteral("/usr/bin/setpriv"),
        { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
            QStringLiteral("/usr/bin/python3"), QStringLiteral("-I"), QStringLiteral("-c"),
            QStringLiteral("import socket, sys\n"
                           "s = socket.create_connection(('127.0.0.1', %1))\n"
                           "s.sendall(sys.stdin.buffer.read())\n"
                           "while data := s.recv(65536):\n"
                           "    sys.stdout.buffer.write(data)\n")
                .arg(port) });
    client.write(request);
    client.closeWriteChannel();
    waitUntil([&] { return client.state() == QProcess::NotRunning; }, 10000);
    return client.readAllStandardOutput();
}

} // namespace murmeli::test
