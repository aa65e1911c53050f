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
    struct Item {
        quint64 connectionId = 0; // 0: a log line, carried in eventName
        bool awaitsReply = false;
        QString eventName;
        QByteArray body;
        QString adapter;
    };

    /// Producer side; any thread.
    void push(quint64 connectionId, bool awaitsReply, QStringView eventName, QByteArrayView body, QStringView adapter);
    /// Consumer side; one thread only.
    std::vector<Item> takeAll();

private:
    std::mutex m_mutex;
    std::vector<char> m_filling;
    std::vector<char> m_draining;
};

} // namespace murmeli::hooks
