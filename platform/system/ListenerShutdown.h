#pragma once

#include <QtGlobal>

namespace murmeli::platform {

/// Makes the kernel take no new connection on a listening TCP socket: each client's first packet is dropped, so it
/// tries again a second later and by then finds the port closed (refused) or listened on anew. Handshakes already
/// under way still complete, and what is queued stays queued for accept. Closing a listener resets every connection in
/// its queue: a client whose connection the kernel took between the owner's last accept and the close would be cut off
/// with its request unanswered; once this has run, the owner can take the queue to its end and then close. False where
/// the kernel does not take it.
bool stopNewConnections(qintptr listenerDescriptor);

/// Where the kernel takes no filter from this user: from now on the listener's queue takes a new connection only while
/// it is empty (a backlog of none; a handshake whose queue is full is dropped and tried again a second later, as with
/// the filter). A connection of our own is then made to fill it: its descriptor, once it is in the queue, so that no
/// other can follow it until the listener closes; -1 where another came first (the owner takes that one and tries
/// again).
int plugNewConnections(qintptr listenerDescriptor);

/// Whether a handshake with the IPv4 listener is under way: its client has had the listener's answer, may take itself
/// for connected and send its request, and is reset if the listener closes before the handshake's last packet comes
/// in. On a loaded machine that packet may come many milliseconds late.
bool handshakesUnderWay(qintptr listenerDescriptor);

} // namespace murmeli::platform
