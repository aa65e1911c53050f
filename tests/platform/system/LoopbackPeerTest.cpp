#include "platform/system/LoopbackPeer.h"

#include <functional>
#include <iostream>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <unistd.h>

namespace murmeli::platform {
namespace {

// A connection over 127.0.0.1 whose connecting end is made as the given user (the socket's owner is the one who made
// it); the accepting end's descriptor is handed to check.
void connectAs(uid_t owner, const std::function<void(int accepted)>& check)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const uid_t before = ::setfsuid(owner);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::setfsuid(before);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(accepted, 0);
    check(accepted);
    for (const int fd : { accepted, client, listener }) {
        ::close(fd);
    }
}

// Who holds the other end of a hook connection: the user's own process, another user's, or nothing the kernel can
// name (not an IPv4 TCP connection).
TEST(LoopbackPeerTest, NamesTheUserWhoMadeTheOtherEnd)
{
    connectAs(::geteuid(), [](int accepted) { EXPECT_EQ(loopbackPeerUid(accepted), ::geteuid()); });
    if (::geteuid() == 0) {
        connectAs(65534, [](int accepted) { EXPECT_EQ(loopbackPeerUid(accepted), 65534u); });
    } else {
        std::cout << "[ SKIPPED  ] another user's end: only root can make a socket as another user\n";
    }
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(loopbackPeerUid(pair[0]), std::nullopt);
    ::close(pair[0]);
    ::close(pair[1]);
}

} // namespace
} // namespace murmeli::platform
