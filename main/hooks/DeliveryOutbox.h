#pragma once

#include <mutex>
#include <vector>

#include <QByteArray>
#include <QString>

namespace murmeli::hooks {

/// Events on their way from the server thread to the owner's thread. Items are packed into a byte buffer that
/// both threads reuse, so the hand-over allocates nothing on one thread that the other frees: under load that
/// cross-thread churn costs the server more than serving the requests does.
class DeliveryOutbox final {
public:
    enum class Kind : quint32 {
        Event, // an accepted request
        EventHeld, // an accepted request whose reply waits for the owner
        Log, // a log line, carried in eventName
        PeerClosed, // the client of a held request went away
    };

    struct Item {
        Kind kind = Kind::Event;
        quint64 connectionId = 0;
        QString eventName;
        QByteArray body;
        QString adapter;
    };

    /// Producer side; any thread.
    void push(Kind kind, quint64 connectionId, QStringView eventName = {}, QByteArrayView body = {},
        QStringView adapter = {});
    /// Consumer side; one thread only.
    std::vector<Item> takeAll();

private:
    std::mutex m_mutex;
    std::vector<char> m_filling;
    std::vector<char> m_draining;
};

} // namespace murmeli::hooks
