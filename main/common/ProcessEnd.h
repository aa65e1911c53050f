#pragma once

namespace murmeli::common {

/// Ends the process with status once its own objects are gone, without the libraries' static destructors: Qt
/// Multimedia's sound-server engine is one, and it drops its connection to the server without holding the lock of
/// the thread that may be handling the server's latest message, which now and then crashed murmeli (and the tests) as
/// they ended. What was written to standard output and error is flushed first; a build with the address sanitizer
/// runs its leak check, which the sanitizer would otherwise run at exit.
[[noreturn]] void endProcess(int status);

} // namespace murmeli::common
