#include "main/hooks/server/HookServer.h"

#include <QObject>
#include <QPointer>

#include "main/hooks/server/HttpRequest.h"
#include "main/hooks/server/StoredHookSecret.h"

namespace murmeli::hooks {

namespace {

// Taken in one wake-up, this many events are a burst whose memory is worth giving back.
constexpr std::size_t burstItems = 1024;

} // namespace

HookServer::HookServer(
    platform::KeychainStore keychain, HookServerOptions options, std::shared_ptr<common::Clock> clock)
    : m_keychain(std::move(keychain)), m_clock(std::move(clock)), m_outbox(options.maxOutboxBytes),
      m_thread(QStringLiteral("murmeli.hookserver"), makeWorker(options),
          [](HookServerWorker& worker) { worker.shutdown(); })
{
}

HookServer::~HookServer()
{
    // Stopping drops the deliveries still queued for this server.
    m_thread.stop();
}

std::unique_ptr<HookServerWorker> HookServer::makeWorker(const HookServerOptions& options)
{
    using Kind = DeliveryOutbox::Kind;
    auto deliverFn = [this](quint64 id, const http::Delivery& delivery, bool awaits) {
        return m_outbox.push(awaits ? Kind::EventHeld : Kind::Event, id, delivery.eventName, delivery.body,
            delivery.adapter, delivery.agentProcess);
    };
    auto logFn = [this](const QString& line, common::LogColor color) { m_outbox.pushLog(line, color); };
    auto closedFn = [this](quint64 id) { m_outbox.push(Kind::PeerClosed, id); };
    // The worker calls out only while serving calls made after construction, when m_thread is complete.
    auto wakeFn = [this] { m_thread.postToOwner([this] { flushPending(); }); };
    return std::make_unique<HookServerWorker>(
        m_shared, options, m_clock, std::move(deliverFn), std::move(logFn), std::move(closedFn), std::move(wakeFn));
}

void HookServer::start(quint16 port, std::optional<QString> secret, bool skipKeychain)
{
    if (isRunning()) {
        return;
    }
    Secrets secrets;
    m_refusedSecrets.clear();
    if (secret) {
        secrets.secret = secret;
    } else if (!skipKeychain) {
        secrets = readStoredSecrets();
    }
    useSecrets(secrets);
    m_shared->asyncReplies = static_cast<bool>(asyncEventResponse);
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->heldEventNames = heldEvents;
    }
    // Listening is synchronous so the bound port is known when start() returns.
    m_thread.run([port](HookServerWorker& worker) { worker.listen(port); });
}

void HookServer::takeUpStoredSecret()
{
    if (!isRunning()) {
        return;
    }
    const bool enforced = authEnforced();
    const Secrets secrets = readStoredSecrets();
    // Nothing stored (an install that failed before it made the secret) leaves the check as it was.
    if (!secrets.secret) {
        return;
    }
    useSecrets(secrets);
    if (!enforced && authEnforced()) {
        onLog(QStringLiteral("HookServer: hook events must now carry the secret the install stored"),
            common::LogColor::Green);
    }
}

HookServer::Secrets HookServer::readStoredSecrets()
{
    Secrets secrets;
    m_refusedSecrets.clear();
    // Where an install keeps the secret depends on where it ran; the hooks carry whichever copy they were given.
    StoredHookSecret stored = StoredHookSecret::read(m_keychain);
    secrets.others = std::move(stored.secrets);
    if (secrets.others.isEmpty()) {
        m_refusedSecrets = stored.refusals();
    }
    for (const platform::SecretNotice& notice : stored.notices) {
        if (notice.repaired || !secrets.others.isEmpty()) {
            onLog(QStringLiteral("HookServer: ") + StoredHookSecret::describe(notice), common::LogColor::Orange);
        }
    }
    if (!secrets.others.isEmpty()) {
        secrets.secret = secrets.others.takeFirst();
    } else if (!m_refusedSecrets.isEmpty()) {
        // Listening without a check would let any local user post events; one nobody holds refuses them all.
        secrets.secret = StoredHookSecret::fresh();
        onLog(QStringLiteral("HookServer: no stored hook secret can be used, so every hook event is refused: %1. "
                             "Make it a file of your own with mode 0600 that holds the secret on one line (or "
                             "remove it and reinstall the hooks), then restart murmeli")
                  .arg(m_refusedSecrets.join(QStringLiteral("; "))),
            common::LogColor::Red);
    }
    return secrets;
}

void HookServer::useSecrets(const Secrets& secrets)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->secret = secrets.secret;
    m_shared->otherSecrets = secrets.others;
}

void HookServer::stop()
{
    m_thread.run([](HookServerWorker& worker) { worker.stopListening(); });
}

void HookServer::answerHeldAtOnce(const QByteArray& body)
{
    m_thread.run([body](HookServerWorker& worker) { worker.answerHeldAtOnce(body); });
}

bool HookServer::isRunning() const
{
    return m_shared->running;
}

quint16 HookServer::port() const
{
    return m_shared->port;
}

std::optional<QString> HookServer::secret() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->secret;
}

void HookServer::setSecret(std::optional<QString> secret)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->secret = std::move(secret);
    m_shared->otherSecrets.clear();
}

QStringList HookServer::acceptedSecrets() const
{
    return m_shared->acceptedSecrets();
}

bool HookServer::portTaken() const
{
    return m_shared->portTaken;
}

QStringList HookServer::refusedSecrets() const
{
    return m_refusedSecrets;
}

bool HookServer::authEnforced() const
{
    const auto current = secret();
    return current && !current->isEmpty();
}

QString HookServer::listenerStateDescription() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->listenerState;
}

qint64 HookServer::activeConnectionCount() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->activeConnections;
}

qint64 HookServer::totalEventCount() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->totalEvents;
}

qint64 HookServer::waitingEventCount() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->waitingEvents;
}

qint64 HookServer::lastEventAgeSec() const
{
    const std::lock_guard lock(m_shared->mutex);
    if (!m_shared->lastEventAtMs) {
        return -1;
    }
    return (m_clock->monotonicMs() - *m_shared->lastEventAtMs) / 1000;
}

qint64 HookServer::parseFailureCount() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->parseFailures;
}

qint64 HookServer::bearerRejectCount() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->bearerRejects;
}

qint64 HookServer::originRejectCount() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->originRejects;
}

void HookServer::notifyParseFailure()
{
    const std::lock_guard lock(m_shared->mutex);
    ++m_shared->parseFailures;
}

bool HookServer::isAuthorized(const std::optional<QString>& bearerHeader) const
{
    return http::isAuthorized(secret(), bearerHeader);
}

std::optional<QString> HookServer::extractHeader(const QString& name, const QStringList& lines)
{
    return http::extractHeader(name, lines);
}

bool HookServer::constantTimeEquals(const QString& a, const QString& b)
{
    return http::constantTimeEquals(a, b);
}

void HookServer::flushPending()
{
    QPointer<QObject> alive = m_thread.ownerContext();
    std::vector<DeliveryOutbox::Item> items = m_outbox.takeAll();
    if (m_outbox.turnedAwayBeforeTake()) {
        // There is room again for the events that wait on their connections.
        m_thread.post([](HookServerWorker& worker) { worker.resumeHandOver(); });
    }
    const bool burst = items.size() >= burstItems;
    for (DeliveryOutbox::Item& item : items) {
        if (!alive) {
            return;
        }
        switch (item.kind) {
        case DeliveryOutbox::Kind::Log:
            onLog(item.eventName, item.logColor);
            break;
        case DeliveryOutbox::Kind::PeerClosed:
            peerClosed(item.connectionId);
            break;
        case DeliveryOutbox::Kind::Event:
        case DeliveryOutbox::Kind::EventHeld: {
            const http::Delivery delivery { std::move(item.eventName), std::move(item.body), std::move(item.adapter),
                std::move(item.agentProcess) };
            deliver(item.connectionId, delivery.eventName, delivery.payload(),
                item.kind == DeliveryOutbox::Kind::EventHeld);
            break;
        }
        }
    }
    if (burst && alive) {
        items = {};
        m_thread.post([](HookServerWorker& worker) { worker.noteOwnerBurst(); });
    }
}

void HookServer::deliver(quint64 connectionId, const QString& eventName, const QJsonObject& payload, bool awaitsReply)
{
    onLog(QStringLiteral("Hook: ") + eventName, common::LogColor::Grey);
    if (onEvent) {
        onEvent(eventName, payload);
    }
    if (awaitsReply) {
        if (asyncEventResponse) {
            awaitReply(connectionId, eventName, payload);
        } else {
            postReply(connectionId, 200, http::okBody);
        }
    }
}

QCoro::Task<> HookServer::awaitReply(quint64 connectionId, QString eventName, QJsonObject payload)
{
    QPointer<QObject> alive = m_thread.ownerContext();
    const AsyncResponseHandler handler = asyncEventResponse;
    auto held = std::make_shared<HeldRequest>();
    m_held.emplace(connectionId, held);
    const std::optional<QString> body = co_await handler(std::move(eventName), std::move(payload), held);
    if (!alive) {
        co_return;
    }
    m_held.erase(connectionId);
    if (!held->isClosed()) {
        postReply(connectionId, 200, body ? body->toUtf8() : http::okBody);
    }
}

void HookServer::peerClosed(quint64 connectionId)
{
    const auto it = m_held.find(connectionId);
    if (it == m_held.end()) {
        return;
    }
    const std::shared_ptr<HeldRequest> held = it->second;
    m_held.erase(it);
    held->markClosed();
}

void HookServer::postReply(quint64 connectionId, int status, const QByteArray& body)
{
    m_thread.post([connectionId, status, body](HookServerWorker& worker) { worker.reply(connectionId, status, body); });
}

} // namespace murmeli::hooks
