#include "main/app/shell/InstanceChannel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include "main/hooks/sessions/StatusDirectory.h"

namespace murmeli::app {

namespace {

// Whatever sits at the socket's name must be the user's own: another user's socket would take our requests, and
// answering its probe would make murmeli think itself a second instance.
bool foreignEntry(const QString& name)
{
    struct stat entry { };
    return ::lstat(QFile::encodeName(name).constData(), &entry) == 0 && entry.st_uid != ::getuid();
}

} // namespace

InstanceChannel::InstanceChannel(QString name, QObject* parent)
    : QObject(parent), m_name(name.isEmpty() ? standardName() : std::move(name))
{
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::standardName(QString* problem)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists()) {
        return runtime + QStringLiteral("/murmeli-control");
    }
    const QString folder = QDir::tempPath() + QStringLiteral("/murmeli-%1").arg(::getuid());
    QString refused;
    if (!hooks::StatusDirectory(folder).prepare(&refused)) {
        if (problem != nullptr) {
            *problem = folder + QStringLiteral(": ") + refused;
        }
        return {};
    }
    return folder + QStringLiteral("/control");
}

bool InstanceChannel::sendToRunning(const QString& name, const QString& request, int timeoutMs)
{
    if (name.isEmpty() || foreignEntry(name)) {
        return false;
    }
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

bool InstanceChannel::listen(QString* problem)
{
    if (isListening()) {
        return true;
    }
    const auto fail = [problem](const QString& why) {
        if (problem != nullptr) {
            *problem = why;
        }
        return false;
    };
    if (m_name.isEmpty()) {
        return fail(QStringLiteral("no socket name"));
    }
    if (foreignEntry(m_name)) {
        return fail(m_name + QStringLiteral(" belongs to another user"));
    }
    // Asked first: listening would quietly take the name over from a live instance. A socket nobody answers on is
    // what a crashed instance leaves, and goes.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    m_takenByAnother = probe.waitForConnected(200);
    if (m_takenByAnother) {
        probe.disconnectFromServer();
        return fail(QStringLiteral("another murmeli already listens on ") + m_name);
    }
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        const QString why = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return fail(m_name + QStringLiteral(": ") + why);
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
