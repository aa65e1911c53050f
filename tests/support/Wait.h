#pragma once

#include <functional>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace murmeli::test {

/// Spins the event loop until pred() holds or timeoutMs passes; returns whether it held.
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(200);
    }
    return true;
}

} // namespace murmeli::test
