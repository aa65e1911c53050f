#include "main/common/LogWriter.h"

#include <cerrno>
#include <chrono>

#include <QDateTime>

#include <poll.h>
#include <unistd.h>

namespace murmeli::common {

namespace {

const char* ansiFor(LogColor color)
{
    switch (color) {
    case LogColor::Grey:
        return "\x1b[90m";
    case LogColor::Blue:
        return "\x1b[34m";
    case LogColor::Orange:
        return "\x1b[33m";
    case LogColor::Red:
        return "\x1b[31m";
    case LogColor::Purple:
        return "\x1b[35m";
    case LogColor::Green:
        return "\x1b[32m";
    }
    return "";
}

std::size_t costOf(const QString& message)
{
    return sizeof(QChar) * static_cast<std::size_t>(message.size()) + 64;
}

} // namespace

LogWriter::LogWriter(int fd, bool colour, std::size_t capacityBytes)
    : m_fd(fd), m_colour(colour), m_capacityBytes(capacityBytes), m_thread([this] { run(); })
{
}

LogWriter::~LogWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void LogWriter::write(const QString& message, LogColor color)
{
    Line line { QDateTime::currentMSecsSinceEpoch(), message, color, costOf(message) };
    {
        const std::lock_guard lock(m_mutex);
        if (m_heldBytes + line.cost > m_capacityBytes) {
            ++m_droppedSinceNote;
            ++m_droppedTotal;
            return;
        }
        if (m_droppedSinceNote > 0) {
            queueDropNote();
        }
        enqueue(std::move(line));
    }
    m_wake.notify_one();
}

void LogWriter::enqueue(Line line)
{
    m_heldBytes += line.cost;
    m_queue.push_back(std::move(line));
}

void LogWriter::queueDropNote()
{
    const std::uint64_t dropped = std::exchange(m_droppedSinceNote, 0);
    // The note may go slightly over the bound: it is what tells the reader that lines are missing.
    const QString message = QStringLiteral("log: %1 %2 dropped")
                                .arg(dropped)
                                .arg(dropped == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
    enqueue(Line { QDateTime::currentMSecsSinceEpoch(), message, LogColor::Orange, costOf(message) });
}

bool LogWriter::flush(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
        [this] { return m_queue.empty() && !m_writing && m_droppedSinceNote == 0; });
}

std::uint64_t LogWriter::droppedTotal() const
{
    const std::lock_guard lock(m_mutex);
    return m_droppedTotal;
}

void LogWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty() || m_droppedSinceNote > 0; });
        if (m_queue.empty() && m_droppedSinceNote > 0) {
            // Everything queued has gone out and nothing new came: the count must not wait for the next line.
            queueDropNote();
        }
        if (m_queue.empty()) {
            break; // stopping, with nothing left
        }
        std::deque<Line> batch;
        batch.swap(m_queue);
        m_writing = true;
        lock.unlock();
        QByteArray bytes;
        std::size_t cost = 0;
        // One look at the time zone for the batch, not one for every line of it.
        const int offsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
        for (const Line& line : batch) {
            bytes += render(line, offsetSeconds);
            cost += line.cost;
        }
        writeAll(bytes);
        lock.lock();
        m_writing = false;
        m_heldBytes -= cost;
        m_idle.notify_all();
    }
}

QByteArray LogWriter::render(const Line& line, int offsetSeconds) const
{
    const QByteArray text
        = formatLogLine(QDateTime::fromMSecsSinceEpoch(line.msecsSinceEpoch, Qt::OffsetFromUTC, offsetSeconds),
            line.message, line.color)
              .toUtf8();
    if (!m_colour) {
        return text + '\n';
    }
    return ansiFor(line.color) + text + "\x1b[0m\n";
}

void LogWriter::writeAll(const QByteArray& bytes) const
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n >= 0) {
            written += n;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // An output left non-blocking by someone else: wait here, on this thread, for room.
            pollfd ready { m_fd, POLLOUT, 0 };
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            return; // a reader that is gone or a closed descriptor: these lines cannot be written anywhere
        }
    }
}

} // namespace murmeli::common
