#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/server/HttpRequest.h"
#include "platform/system/LoopbackPeer.h"

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace murmeli::hooks {

struct HookServerOptions {
    /// A request that has not arrived whole by then is closed without delivery.
    qint64 requestDeadlineMs = 10000;
    /// A connection whose head has not arrived whole by then is closed: a hook writes its head in one go.
    qint64 headDeadlineMs = 2000;
    /// Open connections, held permission requests included. Past it, room is made by closing the oldest connection
    /// that has not shown the secret, another user's first; with none such, a new connection is refused at once (503).
    int maxConnections = 1024;
    /// Memory held for unfinished requests across all connections. A connection that would grow past it is
    /// answered 503 unless closing connections that have not shown the secret makes room; a new one is refused at
    /// once while one more whole request would not fit.
    qsizetype maxBufferedBytes = 32 * 1024 * 1024;
    /// Accepted events waiting for the owner's thread. Past it a request waits on its connection until there is
    /// room, and is answered 503 only when there was none for requestDeadlineMs.
    std::size_t maxOutboxBytes = 8 * 1024 * 1024;
    /// How long a finished reply may take to leave before the connection is dropped.
    qint64 closeDeadlineMs = 10000;
    /// After an error reply the rest of the request is read and thrown away, up to this much for this long, before
    /// the close: closing on unread bytes resets the connection, and the client loses the reply.
    qint64 lingerMaxBytes = 1024 * 1024;
    qint64 lingerDeadlineMs = 2000;
    /// The user id at the client's end of a connection; nullopt when the system does not tell.
    std::function<std::optional<uint>(qintptr socketDescriptor)> peerUid = &platform::loopbackPeerUid;
};

/// State read from the main thread and written on the server thread; the mutex stands in for a serial queue.
struct HookServerShared {
    mutable std::mutex mutex;
    QString listenerState = QStringLiteral("setup");
    qint64 activeConnections = 0;
    qint64 totalEvents = 0;
    qint64 waitingEvents = 0;
    std::optional<qint64> lastEventAtMs;
    qint64 parseFailures = 0;
    qint64 bearerRejects = 0;
    qint64 originRejects = 0;
    std::optional<QString> secret;
    // Secrets accepted besides it: an install from a shell without the desktop's session bus keeps its secret in
    // another store than one from the desktop, and the agents' hooks carry whichever they were given.
    QStringList otherSecrets;

    std::atomic<bool> running { false };
    std::atomic<quint16> port { 0 };
    // The last listen failed because another program holds the port.
    std::atomic<bool> portTaken { false };
    // Whether accepted events wait for an asynchronous reply, and which ones (empty: all); fixed at start.
    std::atomic<bool> asyncReplies { false };
    QSet<QString> heldEventNames;

    /// The secret and the others, each of which a bearer may carry; empty without authentication. Takes the mutex.
    QStringList acceptedSecrets() const;
};

/// Owns the listener and every connection; lives on the server thread and is only called there.
class HookServerWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HookServerWorker)

public:
    // The body is parsed by the receiver: keeping JSON work off this thread keeps it answering. False when the
    // receiver cannot take the event now; it is then offered again once resumeHandOver() is called.
    using DeliverFn = std::function<bool(quint64 connectionId, const http::Delivery& delivery, bool awaitsReply)>;
    /// A held request's client closed the connection before its reply.
    using ClosedFn = std::function<void(quint64 connectionId)>;
    /// Tells the owner's thread that deliveries are waiting.
    using WakeFn = std::function<void()>;

    /// The clock is read on the server thread: only its monotonicMs() is used.
    HookServerWorker(std::shared_ptr<HookServerShared> shared, HookServerOptions options,
        std::shared_ptr<common::Clock> clock, DeliverFn deliver, common::LogSink log, ClosedFn closed, WakeFn wake);
    ~HookServerWorker() override;

    bool listen(quint16 port);
    /// Takes what the kernel has queued, then closes the listener. Another user's connections that have not shown the
    /// secret are closed with it: nothing that comes after could be answered, and the end would wait for them.
    void stopListening();
    void shutdown();
    /// Writes the reply of a held request; a connection that is already gone is skipped.
    void reply(quint64 connectionId, int status, const QByteArray& body);
    /// Answers every held request with body, and from now on every one that arrives, without the owner's thread: for
    /// an end in which that thread answers nothing more.
    void answerHeldAtOnce(const QByteArray& body);
    /// Offers the events that found the hand-over full again, oldest first.
    void resumeHandOver();
    /// The owner's thread has handled a burst: what it freed is given back once the server is quiet too.
    void noteOwnerBurst();

private:
    // A burst: this many connections at once, or this much buffered. It has passed when both are down to a sixteenth.
    static constexpr std::size_t burstConnections = 64;
    static constexpr qsizetype burstBytes = 4 * 1024 * 1024;

    enum class Stage { Reading, Waiting, Held, Closing, Lingering };
    // Whose the client is, as the system tells it; asked once, when it matters.
    enum class Owner { Unasked, Own, Other, Unknown };
    // A whole request whose event found the hand-over full. The client waits rather than losing its event: the
    // owner's thread is only slow for a while, and a refused event is one the agent's hook never gets handled.
    struct WaitingEvent {
        http::Delivery delivery;
        bool held = false;
        bool trailing = false;
        qsizetype bytes = 0;
    };
    struct Connection {
        QTcpSocket* socket = nullptr;
        QByteArray buffer;
        // Parsed once, when the blank line that ends it has arrived.
        std::optional<http::RequestHead> head;
        qint64 acceptedAtMs = 0;
        qint64 deadlineMs = 0;
        Stage stage = Stage::Reading;
        // Its head has shown a secret murmeli holds (a whole head, where none is asked for): it is never closed to
        // make room for others.
        bool proven = false;
        Owner owner = Owner::Unasked;
        // The client's user id, once owner says the system told it.
        uint uid = 0;
        // Bytes thrown away while lingering.
        qint64 discarded = 0;
        std::optional<WaitingEvent> waiting;
        // The client left after its request arrived whole; its event is handled all the same.
        bool peerGone = false;
    };
    // Refusals of one kind, with how many there were since the last line: at most one line a minute while they go
    // on, and one when they have stopped, so that every refusal is counted soon after it.
    struct RefusalLog {
        explicit RefusalLog(QString text, bool paced = false) : text(std::move(text)), paced(paced) { }
        QString text; // %1 is the count, %2 (where there is one) who sent them
        // Never more than a line a minute, not even when they stop: a hook refused on every event would otherwise
        // write a line per event.
        bool paced = false;
        // Who sent those not yet reported, in the order first seen.
        QStringList senders;
        qint64 unreported = 0;
        // unreported as the previous sweep found it: unchanged since, the refusals have stopped.
        qint64 unreportedAtSweep = 0;
        std::optional<qint64> loggedAtMs;
    };

    void acceptPending();
    void refuse(QTcpSocket* socket);
    /// Closes connections that have not shown the secret, another user's and then (when forOwn says the room is for
    /// the user's own) any other, oldest first, until there is room for this many more connections and bytes; false
    /// when there is still none.
    bool makeRoom(int connections, qsizetype bytes, const std::function<bool()>& forOwn);
    /// Closes another user's connections that have not shown the secret.
    void closeOthersUnproven();
    Owner ownerOf(QTcpSocket* socket, uint& uid);
    Owner ownerOf(Connection& connection);
    /// With no secret to ask for, only the user's own processes are heard: another user's could otherwise post as
    /// the user's agents, answer or end their sessions.
    bool unheard(Connection& connection);
    bool fits(int connections, qsizetype bytes) const;
    void readFrom(quint64 id, bool peerGone = false);
    /// Brings the buffered total up to date after the buffer's allocation changed; false (and noted) past the cap.
    bool recount(Connection& connection, qsizetype capacityBefore);
    void releaseBuffer(Connection& connection);
    void peerClosed(quint64 id);
    void readFailed(quint64 id);
    void process(quint64 id, Connection& connection, bool peerGone);
    void handedOver(quint64 id, Connection& connection, bool awaitsReply, bool trailing);
    void countWaiting(int change);
    bool awaitsReply(const Connection& connection, bool held) const;
    void send(quint64 id, Connection& connection, int status, const QByteArray& body, bool lingering);
    void lingeringClose(quint64 id, Connection& connection);
    void discardInput(quint64 id, Connection& connection);
    void drop(quint64 id, bool abort);
    void dispose(QTcpSocket* socket);
    void deleteDisposed();
    void sweep();
    void noteRefusal(RefusalLog& refusals, const QString& sender = {});
    void reportRefusals(RefusalLog& refusals, bool stopped = false);
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
    quint64 m_nextId = 1;
    // By id, so the oldest come first.
    std::map<quint64, Connection> m_connections;
    // Connections in Stage::Waiting, in the order their requests arrived; ids of connections gone since are skipped.
    std::deque<quint64> m_waiting;
    // Allocated for the buffers of all connections, counted by capacity: that is what they hold.
    qsizetype m_bufferedBytes = 0;
    // Set when a burst has come; once it has passed, the memory it used is handed back.
    bool m_burst = false;
    // Sockets done with, deleted together on the next turn of the event loop.
    std::vector<QTcpSocket*> m_disposed;
    // Each read lands here first, so a buffer holds only the bytes that arrived, not a whole chunk.
    QByteArray m_chunk;
    RefusalLog m_originRefusals;
    RefusalLog m_connectionRefusals;
    RefusalLog m_roomMade;
    RefusalLog m_eventRefusals;
    RefusalLog m_bearerRefusals;
    RefusalLog m_ownerUnknown;
    RefusalLog m_otherUsers;
    // Set once the owner's thread answers nothing more: the body every held request gets at once.
    std::optional<QByteArray> m_heldAnswer;
};

} // namespace murmeli::hooks
