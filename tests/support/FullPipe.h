#pragma once

#include <algorithm>
#include <functional>
#include <utility>

#include <QByteArray>
#include <QDeadlineTimer>

#include <fcntl.h>
#include <unistd.h>

namespace murmeli::test {

/// A pipe filled to the brim whose write end blocks, as standard error does: a write to it waits until the test
/// reads, which it does only in readUntil().
class FullPipe final {
public:
    FullPipe()
    {
        int fds[2] = { -1, -1 };
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            m_read = fds[0];
            m_write = fds[1];
        }
        while (::write(m_write, "x", 1) == 1) {
            ++m_filling;
        }
        ::fcntl(m_write, F_SETFL, ::fcntl(m_write, F_GETFL) & ~O_NONBLOCK);
    }
    ~FullPipe()
    {
        ::close(m_read);
        ::close(m_write);
    }
    FullPipe(const FullPipe&) = delete;
    FullPipe& operator=(const FullPipe&) = delete;

    int writeEnd() const { return m_write; }

    /// Reads until done() holds or timeoutMs pass; what came after the filling.
    QByteArray readUntil(const std::function<bool()>& done, int timeoutMs = 5000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        bool last = false;
        while (!last) {
            last = done() || deadline.hasExpired();
            char buffer[65536];
            for (ssize_t n = 0; (n = ::read(m_read, buffer, sizeof buffer)) > 0;) {
                m_received.append(buffer, n);
            }
        }
        const qsizetype skipped = std::min(m_filling, m_received.size());
        m_filling -= skipped;
        return std::exchange(m_received, {}).mid(skipped);
    }

private:
    int m_read = -1;
    int m_write = -1;
    qsizetype m_filling = 0; // filling bytes not yet read
    QByteArray m_received;
};

} // namespace murmeli::test
