#include "platform/system/LoopbackPeer.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace murmeli::platform {

std::optional<uint> loopbackPeerUid(qintptr socketDescriptor)
{
    const int fd = static_cast<int>(socketDescriptor);
    sockaddr_in local {};
    sockaddr_in peer {};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET) {
        return std::nullopt;
    }
    length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) {
        return std::nullopt;
    }
    // The kernel's socket table (what ss reads), asked for the one socket whose own address is our peer's and whose
    // peer is us: the other end, with its owner.
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message {};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    message.request.id.idiag_sport = peer.sin_port;
    message.request.id.idiag_dport = local.sin_port;
    message.request.id.idiag_src[0] = peer.sin_addr.s_addr;
    message.request.id.idiag_dst[0] = local.sin_addr.s_addr;
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (diag < 0) {
        return std::nullopt;
    }
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    alignas(nlmsghdr) char reply[1024];
    // The kernel answers within the send; the receive never waits.
    const bool asked = ::sendto(diag, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel)
        == static_cast<ssize_t>(sizeof message);
    const ssize_t received = asked ? ::recv(diag, reply, sizeof reply, MSG_DONTWAIT) : -1;
    ::close(diag);
    const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
    if (received < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg))) || !NLMSG_OK(header, received)
        || header->nlmsg_type != SOCK_DIAG_BY_FAMILY) {
        return std::nullopt;
    }
    return static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_uid;
}

} // namespace murmeli::platform
