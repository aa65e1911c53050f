#include "platform/system/ListenerShutdown.h"

#include <iterator>

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <linux/filter.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace murmeli::platform {

bool stopNewConnections(qintptr listenerDescriptor)
{
    // A socket filter sees a TCP segment from its header on: it drops a SYN without ACK, the opening of a new
    // handshake, and keeps the rest, among them the ACK that completes a handshake begun before it was attached.
    // Dropping that too would leave its client believing it is connected until the close resets it.
    constexpr quint32 tcpFlagsOffset = 13;
    constexpr quint32 syn = 0x02;
    constexpr quint32 ack = 0x10;
    sock_filter newHandshakesOnly[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, tcpFlagsOffset),
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, syn | ack),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, syn, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffffU),
    };
    const sock_fprog program { static_cast<unsigned short>(std::size(newHandshakesOnly)), newHandshakesOnly };
    return ::setsockopt(static_cast<int>(listenerDescriptor), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program)
        == 0;
}

int plugNewConnections(qintptr listenerDescriptor)
{
    const int listener = static_cast<int>(listenerDescriptor);
    sockaddr_in local {};
    socklen_t length = sizeof local;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET
        || ::listen(listener, 0) != 0) {
        return -1;
    }
    // On loopback the handshake is done within the connect, or its first packet was dropped for a full queue.
    constexpr int handshakeWaitMs = 20;
    const int plug = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (plug < 0) {
        return -1;
    }
    pollfd connecting { plug, POLLOUT, 0 };
    int failure = 0;
    socklen_t failureLength = sizeof failure;
    if ((::connect(plug, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0
            || (errno == EINPROGRESS && ::poll(&connecting, 1, handshakeWaitMs) == 1))
        && ::getsockopt(plug, SOL_SOCKET, SO_ERROR, &failure, &failureLength) == 0 && failure == 0) {
        return plug;
    }
    ::close(plug);
    return -1;
}

bool handshakesUnderWay(qintptr listenerDescriptor)
{
    sockaddr_in local {};
    socklen_t length = sizeof local;
    if (::getsockname(static_cast<int>(listenerDescriptor), reinterpret_cast<sockaddr*>(&local), &length) != 0
        || local.sin_family != AF_INET) {
        return false;
    }
    // The kernel's table names a socket's own address as its four bytes read as one number, and its port; a
    // handshake under way is listed there in state 03.
    const QByteArray address = QByteArray::number(local.sin_addr.s_addr, 16).rightJustified(8, '0').toUpper() + ':'
        + QByteArray::number(ntohs(local.sin_port), 16).rightJustified(4, '0').toUpper();
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == address && fields[3] == "03") {
            return true;
        }
    }
    return false;
}

} // namespace murmeli::platform
