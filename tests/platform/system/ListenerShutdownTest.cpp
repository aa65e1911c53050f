#include "platform/system/ListenerShutdown.h"

#include <cerrno>
#include <cstring>
#include <iterator>

#include <gtest/gtest.h>

#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

// A client whose handshake the listener has answered but not yet seen completed: the client drops the answer until
// its filter goes, and then completes on the listener's next try, a second later.
int clientStuckInItsHandshake(const sockaddr_in& listener)
{
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sock_filter dropAll[] = { BPF_STMT(BPF_RET | BPF_K, 0) };
    const sock_fprog program { static_cast<unsigned short>(std::size(dropAll)), dropAll };
    EXPECT_EQ(::setsockopt(client, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program), 0);
    const int connected = ::connect(client, reinterpret_cast<const sockaddr*>(&listener), sizeof listener);
    EXPECT_TRUE(connected == -1 && errno == EINPROGRESS) << "the handshake completed at once";
    return client;
}

// A listener bound to a free loopback port, its descriptor and address, taking no connection it is not asked for.
int loopbackListener(sockaddr_in& address)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener, 8), 0);
    EXPECT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    return listener;
}

// What a closing hook server waits for: a handshake under way is seen until it completes, one the shut listener never
// answered is not, and a listener without any is quiet.
TEST(ListenerShutdownTest, AHandshakeUnderWayIsSeenUntilItCompletesAndNoneBeginsOnceShut)
{
    sockaddr_in address {};
    const int listener = loopbackListener(address);
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool filters = stopNewConnections(probe);
    ::close(probe);
    if (!filters) {
        ::close(listener);
        GTEST_SKIP() << "the kernel takes no socket filter from this user (" << std::strerror(errno)
                     << "); a closing hook server plugs its queue instead";
    }
    EXPECT_FALSE(handshakesUnderWay(listener));

    const int stuck = clientStuckInItsHandshake(address);
    EXPECT_TRUE(handshakesUnderWay(listener)) << "a handshake the listener answered";
    ASSERT_TRUE(stopNewConnections(listener));
    const int late = clientStuckInItsHandshake(address);
    const int none = 0;
    ASSERT_EQ(::setsockopt(late, SOL_SOCKET, SO_DETACH_FILTER, &none, sizeof none), 0);
    ASSERT_EQ(::setsockopt(stuck, SOL_SOCKET, SO_DETACH_FILTER, &none, sizeof none), 0);
    EXPECT_TRUE(test::waitUntil([&] { return !handshakesUnderWay(listener); }, 10000)) << "it never completed";
    const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    EXPECT_GE(accepted, 0) << "the handshake under way when the listener shut is queued for it";
    EXPECT_LT(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), 0) << "one begun after it shut";
    for (const int fd : { accepted, late, stuck, listener }) {
        ::close(fd);
    }
}

// Where no filter can be set, a connection of our own fills the queue: it gets in only behind no other, and once it is
// in, no client that comes later is taken.
TEST(ListenerShutdownTest, APlugFillsTheQueueOnlyWhenNoOtherWaitsThereAndKeepsLaterClientsOut)
{
    sockaddr_in address {};
    const int listener = loopbackListener(address);
    const int waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(waiting, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_LT(plugNewConnections(listener), 0) << "a plug behind a client that waits in the queue";
    const int taken = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(taken, 0);
    const int plug = plugNewConnections(listener);
    ASSERT_GE(plug, 0) << "no plug in an empty queue";
    const int late = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ::connect(late, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int plugged = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    EXPECT_GE(plugged, 0) << "the plug is queued";
    EXPECT_LT(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), 0) << "a client that came after the plug";
    for (const int fd : { plugged, late, plug, taken, waiting, listener }) {
        ::close(fd);
    }
}

} // namespace
} // namespace murmeli::platform
