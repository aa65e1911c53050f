#include "main/app/shell/InstanceChannel.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringList>

#include "main/app/shell/InstanceLock.h"
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

QString InstanceChannel::standardName(QString* problem, QString* passedOver)
{
    QStringList refusals;
    const auto fits = [&refusals](const QString& name) {
        // The server binds a temporary name beside the socket before moving it in place, a few bytes longer.
        const qsizetype bytes = QFile::encodeName(QFileInfo(name).path()).size() + qsizetype(sizeof "/XXXXXX/s") - 1;
        if (bytes > maxSocketPathBytes || QFile::encodeName(name).size() > maxSocketPathBytes) {
            refusals.append(
                name + QStringLiteral(" is too long for a socket (at most %1 bytes)").arg(maxSocketPathBytes));
            return false;
        }
        return true;
    };
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists()) {
        // The session's folder, not ours to mend: one that others may write to would let them take the socket's
        // name, and one we cannot write to holds no socket. Either is passed over, and said, for a folder of our own.
        QString refused;
        if (!hooks::StatusDirectory(runtime).open(&refused)) {
            refusals.append(QStringLiteral("XDG_RUNTIME_DIR=") + refused);
        } else if (::access(QFile::encodeName(runtime).constData(), W_OK | X_OK) != 0) {
            refusals.append(QStringLiteral("XDG_RUNTIME_DIR=%1 cannot be written to: %2")
                                .arg(runtime, QString::fromLocal8Bit(std::strerror(errno))));
        } else if (const QString name = runtime + QStringLiteral("/murmeli-control"); fits(name)) {
            return name;
        }
        if (passedOver != nullptr) {
            *passedOver = refusals.join(QStringLiteral("; "));
        }
    }
    for (const QString& folder : InstanceLock::privateFolders()) {
        const QString name = folder + QStringLiteral("/control");
        QString refused;
        if (!fits(name)) {
            continue;
        }
        if (!hooks::StatusDirectory(folder).prepare(&refused)) {
            refusals.append(refused);
            continue;
        }
        return name;
    }
    if (problem != nullptr) {
        *problem = refusals.join(QStringLiteral("; "));
    }
    return {};
}

InstanceChannel::HandOver InstanceChannel::sendToRunning(const QString& name, const QString& request, int timeoutMs)
{
    if (name.isEmpty() || foreignEntry(name)) {
        return HandOver::NotReached;
    }
    // A plain socket, not a QLocalSocket: a second start hands over before it makes an application object, so it
    // neither opens the display nor prints Qt's complaints about an environment it is about to leave.
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    if (path.size() >= qsizetype(sizeof address.sun_path)) {
        return HandOver::NotReached;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return HandOver::NotReached;
    }
    // Bounds the connect (a listener whose queue is full), the write and the wait for the answer alike.
    const timeval limit { timeoutMs / 1000, (timeoutMs % 1000) * 1000 };
    const QByteArray line = request.toUtf8() + '\n';
    const bool sent = ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0
        && ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0
        && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
        && ::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) == line.size();
    // A request that only sits in the socket's queue is not taken yet: the one listening may be ending.
    QByteArray answer;
    char byte = 0;
    while (sent && answer.size() < maxRequestBytes && ::recv(fd, &byte, 1, 0) == 1 && byte != '\n') {
        answer.append(byte);
    }
    ::close(fd);
    if (!sent) {
        return HandOver::NotReached;
    }
    if (answer == takenReply) {
        return HandOver::Taken;
    }
    return answer == endingReply ? HandOver::Ending : HandOver::NoAnswer;
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

void InstanceChannel::close()
{
    delete m_server;
    m_server = nullptr;
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
            if (line.size() > maxRequestBytes || !line.endsWith('\n')) {
                socket->disconnectFromServer();
                return;
            }
            const bool taken = onRequest && onRequest(QString::fromUtf8(line).trimmed());
            socket->write(QByteArray(taken ? takenReply : endingReply) + '\n');
            socket->disconnectFromServer();
        });
    }
}

} // namespace murmeli::app
