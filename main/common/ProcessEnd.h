#pragma once

namespace murmeli::common {

/// The longest the end waits for the log's queued lines to be written.
constexpr int logFlushMs = 1000;

/// Ends the process with status once its own objects are gone, without the libraries' static destructors: Qt
/// Multimedia's sound-server engine is one, and it drops its connection to the server without holding the lock of
/// the thread that may be handling the server's latest message, which now and then crashed murmeli (and the tests) as
/// they ended. The log's queued lines (for up to logFlushMs) and what was written to standard output and error are
/// flushed first; a build with the address sanitizer runs its leak check, which the sanitizer would otherwise run at
/// exit.
[[noreturn]] void endProcess(int status);

/// The longest the end waits for what murmeli made to go, once its held requests are answered and its lock let go.
constexpr int teardownLimitMs = 3000;

/// From now on the process ends within limitMs, whatever its teardown still waits on (a thread held in the kernel by a
/// folder that stopped answering): past it one line says so, and it ends as endProcess(status) would, or as
/// endProcessBySignal(signal) would when signal is not 0.
void endWithin(int limitMs, int status, int signal);

/// Ends the process as endProcess does, but as if signal had ended it: after an orderly end on SIGTERM, SIGINT or
/// SIGHUP the one who sent it sees the status it always saw.
[[noreturn]] void endProcessBySignal(int signal);

} // namespace murmeli::common
