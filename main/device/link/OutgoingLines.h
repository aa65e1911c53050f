#pragma once

#include <deque>
#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

#include "main/common/Clock.h"

namespace murmeli::device {

/// The host's lines on their way to the radio, which gets at most writesPerWindow writes every windowMs (about what
/// a connection carries in that time), so that lines wait here rather than in the platform's queue, where nothing
/// could pass them. An approval line ("Q:") goes at once, ahead of every waiting line. A line that only carries what
/// the device is to show now (status, lists, overview, time) replaces a waiting line of its kind in its place, so a
/// burst leaves one line of each kind and nothing stale goes out after it. Other lines (events, the status query)
/// wait their turn. Main thread only; the windows run on the injected clock.
class OutgoingLines final {
public:
    static constexpr qint64 windowMs = 50;
    static constexpr int writesPerWindow = 64;
    /// The most UTF-8 bytes of one line. No line of the protocol reaches it at its fields' character limits; only
    /// text whose characters are each made of many code points could, and such a line is cut at a code point.
    static constexpr qsizetype maxLineBytes = 1024;
    /// The most lines that wait behind the approval lines; beyond it the oldest goes.
    static constexpr qsizetype maxWaiting = 512;

    explicit OutgoingLines(common::Clock& clock);
    ~OutgoingLines();
    OutgoingLines(const OutgoingLines&) = delete;
    OutgoingLines& operator=(const OutgoingLines&) = delete;

    /// Writes one line's bytes (line feed included) to the radio; returns the number of writes it took.
    std::function<int(const QByteArray& bytes)> write;
    /// Called once when the lines back up so far that the oldest are dropped, again after the queue has emptied.
    std::function<void()> onBehind;

    /// The line's bytes with its line feed, cut to maxLineBytes first.
    static QByteArray encode(const QString& line);
    /// What a newer line replaces a waiting one by: its tag, or for a session detail its tag and session; nullopt for
    /// a line that never replaces another.
    static std::optional<QString> replacementKey(const QString& line);

    /// Sends the line now when it is urgent or the window has room, else queues it.
    void send(const QString& line);
    /// Forgets every waiting line (the connection they were meant for is gone).
    void clear();
    qsizetype waiting() const { return static_cast<qsizetype>(m_urgent.size() + m_normal.size()); }

private:
    struct Waiting final {
        std::optional<QString> key;
        QByteArray bytes;
    };

    void queue(const QString& line);
    void pump();

    common::Clock& m_clock;
    std::deque<QByteArray> m_urgent;
    std::deque<Waiting> m_normal;
    std::optional<qint64> m_windowStartMs;
    int m_windowWrites = 0;
    std::optional<common::Clock::TimerId> m_pumpTimer;
    bool m_behind = false;
};

} // namespace murmeli::device
