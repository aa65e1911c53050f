#pragma once

#include <chrono>

class QThread;

namespace murmeli::platform {

/// Qt Multimedia's first contact with the sound server waits in the calling thread until the server answers: for
/// 30 s when a server takes the connection and never replies, and so does every later stream it opens while the
/// server is stopped. That first contact is made here, once per process, on a thread of its own, and the streams are
/// opened on the same thread, so that the main thread never waits on the server. Qt's client that finds no server at
/// its first contact never looks again (only one that lost its server reconnects), so the contact is made only once
/// the server answers: the thread asks again every retryInterval, and each stream asks before it opens, so a server
/// started after murmeli (both started at login) serves the next stream. Until then Qt is never asked.
namespace SoundServerContact {

/// Starts the first contact when it has not started yet; whether it has been made. Never waits.
bool answered();
/// Whether the first try at that contact has ended, made or not. Never waits.
bool triedOnce();
/// On the sound server's thread: makes the first contact now if it has not been made and the server answers;
/// whether it has been made. Blocks that thread for up to answerLimit.
bool reach();
/// The thread that talks to the sound server (its first contact started); it runs for the rest of the process.
QThread* thread();
/// Whether the sound server completes a connection of its own within the limit. Qt opens a stream by waiting for it
/// without limit, and a stream the server lets time out leaves that wait, and the thread in it, stuck for good; so a
/// stream is opened only on a server that has just answered. Blocks the calling thread for up to the limit.
bool answersWithin(std::chrono::milliseconds limit);
/// How long a stream's opening waits for that answer, and what it says when none comes.
inline constexpr std::chrono::milliseconds answerLimit { 1000 };
inline constexpr auto silent = "the sound server (PulseAudio or PipeWire) does not answer";
/// How often the thread asks again for a server that did not answer its first contact.
inline constexpr std::chrono::milliseconds retryInterval { 1000 };

} // namespace SoundServerContact

} // namespace murmeli::platform
