#pragma once

namespace murmeli::platform {

/// Qt Multimedia's first contact with the sound server waits in the calling thread until the server answers: for
/// 30 s when a server takes the connection and never replies. That first contact is made here, once per process, on
/// a thread of its own, so that the main thread touches Qt's audio devices only once the server has answered (or
/// refused, which is quick).
namespace SoundServerContact {

/// Starts the first contact when it has not started yet; whether it has ended. Never waits.
bool answered();

} // namespace SoundServerContact

} // namespace murmeli::platform
