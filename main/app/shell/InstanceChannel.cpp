#include "main/app/shell/InstanceChannel.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace murmeli::app {

InstanceChannel::InstanceChannel(QString name, QObject* parent)
    : QObject(parent), m_name(name.isEmpty() ? standardName() : std::move(name))
{
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::standardName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists()) {
        return runtime + QStringLiteral("/murmeli-control");
    }
    return QDir::tempPath() + QStringLiteral("/murmeli-control-%1").arg(::getuid());
}

bool InstanceChannel::sendToRunning(const QString& name, const QString& request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(request.toUtf8() + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}

bool InstanceChannel::listen()
{
    if (isListening()) {
        return true;
    }
    // Asked first: listening would quietly take the name over from a live instance. A socket nobody answers on is
    // what a crashed instance leaves, and goes.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(200)) {
        probe.disconnectFromServer();
        return false;
    }
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::accept);
    return true;
}

bool InstanceChannel::isListening() const
{
    return m_server != nullptr && m_server->isListening();
}

void InstanceChannel::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > maxRequestBytes) {
                    socket->abort();
                }
                return;
            }
            const QByteArray line = socket->readLine(maxRequestBytes + 1);
            socket->disconnectFromServer();
            if (line.size() > maxRequestBytes || !line.endsWith('\n')) {
                return;
            }
            if (onRequest) {
                onRequest(QString::fromUtf8(line).trimmed());
            }
        });
    }
}

} // namespace murmeli::app
