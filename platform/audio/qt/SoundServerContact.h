#pragma once

class QThread;

namespace murmeli::platform {

/// Qt Multimedia's first contact with the sound server waits in the calling thread until the server answers: for
/// 30 s when a server takes the connection and never replies, and so does every later stream it opens while the
/// server is stopped. That first contact is made here, once per process, on a thread of its own, and the streams are
/// opened on the same thread, so that the main thread never waits on the server.
namespace SoundServerContact {

/// Starts the first contact when it has not started yet; whether it has ended. Never waits.
bool answered();
/// The thread that talks to the sound server (its first contact started); it runs for the rest of the process.
QThread* thread();

} // namespace SoundServerContact

} // namespace murmeli::platform
