#include "main/common/ProcessEnd.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <QString>

#include "main/common/Log.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace murmeli::common {

namespace {

// What has to happen before any end: the output flushed, and the leak check the sanitizer would run at exit.
void settle()
{
    flushStderr(logFlushMs);
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
}

} // namespace

void endProcess(int status)
{
    settle();
    std::_Exit(status);
}

void endWithin(int limitMs, int status, int signal)
{
    // Detached, and never told that the teardown ended: the process ends either way, whichever comes first.
    std::thread([limitMs, status, signal] {
        std::this_thread::sleep_for(std::chrono::milliseconds(limitMs));
        writeToStderr(QStringLiteral("murmeli's end: what is left did not end within %1 ms (a thread waits on a folder "
                                     "that does not answer); ending without it")
                          .arg(limitMs),
            LogColor::Orange);
        if (signal != 0) {
            endProcessBySignal(signal);
        }
        endProcess(status);
    }).detach();
}

void endProcessBySignal(int signal)
{
    settle();
    // Whoever started murmeli learns how it ended, as before it ended in order: a shell that ran it stops its script
    // on Ctrl+C, a service manager counts a SIGTERM as a clean stop.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace murmeli::common
