#include "platform/system/ListenerShutdown.h"

#include <iterator>

#include <linux/filter.h>
#include <sys/socket.h>

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

} // namespace murmeli::platform
