#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/server/HttpRequest.h"

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace murmeli::hooks {

struct HookServerOptions {
    /// A request that has not arrived whole by then is closed without delivery.
    qint64 requestDeadlineMs = 10000;
    /// Open connections, held permission requests included; past it the listener stops accepting for a while.
    int maxConnections = 1024;
    /// How long a finished reply may take to leave before the connection is dropped.
    qint64 closeDeadlineMs = 10000;
};

/// State read from the main thread and written on the server thread; the mutex stands in for a serial queue.
struct HookServerShared {
    mutable std::mutex mutex;
    QString listenerState = QStringLiteral("setup");
    qint64 activeConnections = 0;
    qint64 totalEvents = 0;
    std::optional<qint64> lastEventAtMs;
    qint64 parseFailures = 0;
    qint64 bearerRejects = 0;
    std::optional<QString> secret;

    std::atomic<bool> running { false };
    std::atomic<quint16> port { 0 };
    // Whether accepted events wait for an asynchronous reply, and which ones (empty: all); fixed at start.
    std::atomic<bool> asyncReplies { false };
    QSet<QString> heldEventNames;
};

/// Owns the listener and every connection; lives on the server thread and is only called there.
class HookServerWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HookServerWorker)

public:
    // The body is parsed by the receiver: keeping JSON work off this thread keeps it answering.
    using DeliverFn = std::function<void(quint64 connectionId, http::Delivery delivery, bool awaitsReply)>;
    /// A held request's client closed the connection before its reply.
    using ClosedFn = std::function<void(quint64 connectionId)>;
    /// Tells the owner's thread that deliveries are waiting.
    using WakeFn = std::function<void()>;

    /// The clock is read on the server thread: only its monotonicMs() is used.
    HookServerWorker(std::shared_ptr<HookServerShared> shared, HookServerOptions options,
        std::shared_ptr<common::Clock> clock, DeliverFn deliver, common::LogSink log, ClosedFn closed, WakeFn wake);
    ~HookServerWorker() override;

    bool listen(quint16 port);
    void stopListening();
    void shutdown();
    /// Writes the reply of a held request; a connection that is already gone is skipped.
    void reply(quint64 connectionId, int status, const QByteArray& body);

private:
    enum class Stage { Reading, Held, Closing };
    struct Connection {
        QTcpSocket* socket = nullptr;
        QByteArray buffer;
        // Parsed once, when the blank line that ends it has arrived.
        std::optional<http::RequestHead> head;
        qint64 deadlineMs = 0;
        Stage stage = Stage::Reading;
    };

    void acceptPending();
    void readFrom(quint64 id);
    void peerClosed(quint64 id);
    void readFailed(quint64 id);
    void process(quint64 id, Connection& connection, bool peerGone);
    void send(quint64 id, Connection& connection, int status, const QByteArray& body);
    void drop(quint64 id, bool abort);
    void sweep();
    void setListenerState(const QString& state);
    void wakeOwner();
    qint64 nowMs() const;

    std::shared_ptr<HookServerShared> m_shared;
    HookServerOptions m_options;
    std::shared_ptr<common::Clock> m_clock;
    DeliverFn m_deliver;
    common::LogSink m_log;
    ClosedFn m_closed;
    WakeFn m_wake;
    // Waking the owner's thread for every event costs more than the event itself under load: the first event
    // after a quiet spell wakes it at once, later ones ride along with one wake per cooldown.
    QTimer* m_wakeCooldown = nullptr;
    bool m_wakeOwed = false;
    QTcpServer* m_server = nullptr;
    QTimer* m_sweepTimer = nullptr;
    bool m_paused = false;
    quint64 m_nextId = 1;
    std::unordered_map<quint64, Connection> m_connections;
};

} // namespace murmeli::hooks
