#pragma once

#include <cerrno>

#include <QByteArray>
#include <QtGlobal>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace murmeli::test {

/// A plain socket connected to 127.0.0.1:port, for clients that must not run the event loop or that come by the
/// thousand; -1 on failure. A non-blocking one may still be connecting when it is returned.
inline int connectLoopback(quint16 port, bool nonBlocking = false)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        && !(nonBlocking && errno == EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// Everything until the server closes, waiting at most 5 s for each part, without the event loop; closes fd.
inline QByteArray replyOf(int fd)
{
    const timeval timeout { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    QByteArray reply;
    char chunk[4096];
    for (ssize_t n = 0; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        reply.append(chunk, n);
    }
    ::close(fd);
    return reply;
}

} // namespace murmeli::test
