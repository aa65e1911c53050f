#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/common/WorkerThread.h"
#include "main/hooks/server/DeliveryOutbox.h"
#include "main/hooks/server/HeldRequest.h"
#include "main/hooks/server/HookServerWorker.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::hooks {

/// The loopback HTTP endpoint the agents' hook scripts post their events to. Connections are served on the
/// thread "murmeli.hookserver"; events, log lines and asynchronous replies are handled on the owner's thread.
class HookServer final {
public:
    using EventHandler = std::function<void(const QString& eventName, const QJsonObject& payload)>;
    /// Produces the reply body of a held request; nullopt answers {"ok":true}. The handle reports a client that
    /// leaves before the reply.
    using AsyncResponseHandler = std::function<QCoro::Task<std::optional<QString>>(
        QString eventName, QJsonObject payload, std::shared_ptr<HeldRequest> held)>;

    static constexpr quint16 defaultPort = 19876;

    /// The clock stamps events and times out connections; it is read on the server thread.
    explicit HookServer(platform::KeychainStore keychain, HookServerOptions options = {},
        std::shared_ptr<common::Clock> clock = std::make_shared<common::SystemClock>());
    ~HookServer();
    HookServer(const HookServer&) = delete;
    HookServer& operator=(const HookServer&) = delete;

    /// Every accepted event, on the owner's thread.
    EventHandler onEvent;
    /// When set before start(), accepted events' replies wait for it (all of them, or those named in heldEvents).
    AsyncResponseHandler asyncEventResponse;
    /// The events whose reply waits for asyncEventResponse; empty means every event. Read at start(). Other events
    /// get {"ok":true} at once, which is what the handler would have answered, without a trip to the owner's thread.
    QSet<QString> heldEvents;
    /// On the owner's thread; failures come in red, routine lines in grey.
    common::LogSink onLog;

    /// Resolves the secret (given, none, or every one the keychain keeps) and starts listening on 127.0.0.1. A stored
    /// secret that cannot be used never turns the check off: without another copy, every event is refused.
    void start(quint16 port = defaultPort, std::optional<QString> secret = std::nullopt, bool skipKeychain = false);
    /// Reads the stored secret again while the server runs, for an install that has just stored one: from then on a
    /// bearer must carry it (or another stored copy). Nothing stored leaves the check as it was.
    void takeUpStoredSecret();
    /// Stops accepting; connections already open are left to finish, but for another user's that have not shown the
    /// secret.
    void stop();
    /// Answers every held request with body at once, and every one that comes in from now on, on the server's own
    /// thread: for an end in which the owner's thread answers nothing more.
    void answerHeldAtOnce(const QByteArray& body);

    bool isRunning() const;
    quint16 port() const;
    /// Whether the last start found its port held by another program.
    bool portTaken() const;
    /// Why no stored secret could be used at the last start, one line per copy naming where it is kept; empty when
    /// one is used or none is stored. Every hook event is refused then.
    QStringList refusedSecrets() const;
    std::optional<QString> secret() const;
    /// Sets the one secret a bearer must carry (none or empty: no authentication).
    void setSecret(std::optional<QString> secret);
    /// The secret and any other the keychain keeps, each of which a bearer may carry; empty without authentication.
    QStringList acceptedSecrets() const;
    bool authEnforced() const;

    QString listenerStateDescription() const;
    qint64 activeConnectionCount() const;
    qint64 totalEventCount() const;
    /// Whole requests whose events wait for room in the hand-over to the owner's thread.
    qint64 waitingEventCount() const;
    /// -1 before the first accepted event.
    qint64 lastEventAgeSec() const;
    qint64 parseFailureCount() const;
    qint64 bearerRejectCount() const;
    /// Requests refused with 403 for coming from a web browser.
    qint64 originRejectCount() const;
    void notifyParseFailure();

    bool isAuthorized(const std::optional<QString>& bearerHeader) const;
    static std::optional<QString> extractHeader(const QString& name, const QStringList& lines);
    static bool constantTimeEquals(const QString& a, const QString& b);

private:
    /// The secret a bearer must carry and the other copies it may carry instead.
    struct Secrets {
        std::optional<QString> secret;
        QStringList others;
    };

    /// Every stored copy, saying in the log what was repaired or refused; a stored copy that cannot be used gives a
    /// secret nobody holds.
    Secrets readStoredSecrets();
    void useSecrets(const Secrets& secrets);
    std::unique_ptr<HookServerWorker> makeWorker(const HookServerOptions& options);
    void flushPending();
    void deliver(quint64 connectionId, const QString& eventName, const QJsonObject& payload, bool awaitsReply);
    QCoro::Task<> awaitReply(quint64 connectionId, QString eventName, QJsonObject payload);
    void peerClosed(quint64 connectionId);
    void postReply(quint64 connectionId, int status, const QByteArray& body);

    platform::KeychainStore m_keychain;
    std::shared_ptr<common::Clock> m_clock;
    std::shared_ptr<HookServerShared> m_shared = std::make_shared<HookServerShared>();
    // Work handed from the server thread to the owner's; under load one wake-up carries many events.
    DeliveryOutbox m_outbox;
    std::unordered_map<quint64, std::shared_ptr<HeldRequest>> m_held;
    QStringList m_refusedSecrets;
    // Last, so the thread has stopped before anything its callbacks touch goes.
    common::WorkerThread<HookServerWorker> m_thread;
};

} // namespace murmeli::hooks
