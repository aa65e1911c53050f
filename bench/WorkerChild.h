#pragma once

// What the benchmarks that talk to the loopback mock worker share: a monotonic clock in milliseconds that a child
// process reads the same way, a bounded spin and an idle run of the event loop, and the child's side of serving the
// worker.

#include <chrono>
#include <cstdio>
#include <functional>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include "tests/support/MockCloudWorker.h"

namespace murmeli::bench {

/// steady_clock is the system-wide monotonic clock, so times taken in two processes compare.
inline double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/// Runs the event loop until pred holds or limitMs passes.
inline bool spinUntil(const std::function<bool()>& pred, double limitMs)
{
    const double deadline = nowMs() + limitMs;
    while (!pred()) {
        if (nowMs() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

/// Lets the event loop run for ms without spinning, so that the process is as idle as the work it measures.
inline void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Starts the worker, prints "PORT <n>" and serves until standard input closes (the parent went away).
inline int serveUntilInputCloses(test::MockCloudWorker& worker)
{
    if (!worker.start()) {
        return 1;
    }
    std::printf("PORT %d\n", worker.port());
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) {
            QCoreApplication::quit();
        }
    });
    return QCoreApplication::exec();
}

} // namespace murmeli::bench
