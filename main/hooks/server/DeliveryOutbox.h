#pragma once

#include <mutex>
#include <vector>

#include <QByteArray>
#include <QString>

#include "main/common/Log.h"

namespace murmeli::hooks {

/// Events on their way from the server thread to the owner's thread. Items are packed into a byte buffer that
/// both threads reuse, so the hand-over allocates nothing on one thread that the other frees: under load that
/// cross-thread churn costs the server more than serving the requests does.
class DeliveryOutbox final {
public:
    enum class Kind : quint32 {
        Event, // an accepted request
        EventHeld, // an accepted request whose reply waits for the owner
        Log, // a log line, carried in eventName, with its colour
        PeerClosed, // the client of a held request went away
    };

    struct Item {
        Kind kind = Kind::Event;
        quint64 connectionId = 0;
        QString eventName;
        QByteArray body;
        QString adapter;
        QString agentProcess;
        common::LogColor logColor = common::LogColor::Grey;
    };

    /// Past maxPendingBytes waiting bytes, events are turned away rather than queued: a flood must not exhaust memory
    /// while the owner's thread is busy. Closures and log lines are always queued.
    explicit DeliveryOutbox(std::size_t maxPendingBytes = 8 * 1024 * 1024);

    /// Producer side; any thread. False when an event was turned away for the cap: the producer offers it again
    /// once the consumer has taken what waits.
    bool push(Kind kind, quint64 connectionId, QStringView eventName = {}, QByteArrayView body = {},
        QStringView adapter = {}, QStringView agentProcess = {});
    /// A log line with its colour; any thread.
    void pushLog(QStringView line, common::LogColor color);
    /// Consumer side; one thread only.
    std::vector<Item> takeAll();
    /// Whether an event was turned away before the last takeAll(); consumer side.
    bool turnedAwayBeforeTake() const { return m_turnedAwayBeforeTake; }

private:
    bool append(Kind kind, quint64 connectionId, QStringView eventName, QByteArrayView body, QStringView adapter,
        QStringView agentProcess, common::LogColor color);

    std::size_t m_maxPendingBytes;
    std::mutex m_mutex;
    std::vector<char> m_filling;
    std::vector<char> m_draining;
    bool m_turnedAway = false; // under m_mutex
    bool m_turnedAwayBeforeTake = false;
};

} // namespace murmeli::hooks
