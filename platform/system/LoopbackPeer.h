#pragma once

#include <optional>

#include <QtGlobal>

namespace murmeli::platform {

/// The user id that owns the other end of an IPv4 TCP connection made on this machine (the connecting process's
/// socket), asked of the kernel by the connection's two addresses; nullopt when it does not tell, e.g. once that end
/// is closed.
std::optional<uint> loopbackPeerUid(qintptr socketDescriptor);

} // namespace murmeli::platform
