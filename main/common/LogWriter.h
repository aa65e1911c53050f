#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QString>

#include "main/common/Log.h"

namespace murmeli::common {

/// Log lines on their way to a file descriptor. Callers only queue; a thread of the writer's own does the writing,
/// so an output that nobody reads can stall that thread but never a caller. The queue holds a bounded number of
/// bytes: a line that does not fit is dropped and counted, and the count takes the place of the gap as one line of
/// its own ("log: N lines dropped") once there is room again.
class LogWriter final {
public:
    static constexpr std::size_t defaultCapacityBytes = 4 * 1024 * 1024;

    /// Writes to fd, which stays the caller's, with each level's ANSI colour when colour is set.
    LogWriter(int fd, bool colour, std::size_t capacityBytes = defaultCapacityBytes);
    /// Writes what is still queued and ends the thread, so the output must be able to take the rest.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    /// Queues one line stamped with the time now; never waits for the output.
    void write(const QString& message, LogColor color);
    /// Waits up to timeoutMs until everything queued (a pending drop count too) has been written; whether it has.
    bool flush(int timeoutMs);
    /// Lines dropped since the writer started.
    std::uint64_t droppedTotal() const;

private:
    struct Line {
        qint64 msecsSinceEpoch = 0;
        QString message;
        LogColor color = LogColor::Grey;
        std::size_t cost = 0;
    };

    void enqueue(Line line);
    void queueDropNote();
    void run();
    QByteArray render(const Line& line, int offsetSeconds) const;
    void writeAll(const QByteArray& bytes) const;

    const int m_fd;
    const bool m_colour;
    const std::size_t m_capacityBytes;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Line> m_queue;
    // Counts the lines being written as well as the queued ones, so the bound holds while the output is stuck.
    std::size_t m_heldBytes = 0;
    std::uint64_t m_droppedSinceNote = 0;
    std::uint64_t m_droppedTotal = 0;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once everything above is ready
};

} // namespace murmeli::common
