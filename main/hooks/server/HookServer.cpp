#include "main/hooks/server/HookServer.h"

#include <chrono>

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include "main/hooks/server/HttpRequest.h"

namespace murmeli::hooks {

HookServer::HookServer(platform::KeychainStore keychain, HookServerOptions options)
    : m_keychain(std::move(keychain)), m_context(std::make_unique<QObject>()), m_thread(std::make_unique<QThread>())
{
    using Kind = DeliveryOutbox::Kind;
    // Called on the server thread only, so the count needs no lock.
    auto deliverFn = [this, dropped = qint64 { 0 }](quint64 id, http::Delivery delivery, bool awaits) mutable {
        if (!m_outbox.push(
                awaits ? Kind::EventHeld : Kind::Event, id, delivery.eventName, delivery.body, delivery.adapter)) {
            ++dropped;
        } else if (dropped > 0) {
            m_outbox.push(Kind::Log, 0,
                QStringLiteral("HookServer: %1 events were answered but not handled while murmeli was busy")
                    .arg(std::exchange(dropped, 0)));
        }
    };
    auto logFn = [this](const QString& line) { m_outbox.push(Kind::Log, 0, line); };
    auto closedFn = [this](quint64 id) { m_outbox.push(Kind::PeerClosed, id); };
    // The context outlives every call from the worker: the destructor stops the worker before dropping it.
    auto wakeFn = [this] {
        QMetaObject::invokeMethod(
            m_context.get(), [this] { flushPending(); }, Qt::QueuedConnection);
    };
    m_worker = new HookServerWorker(
        m_shared, options, std::move(deliverFn), std::move(logFn), std::move(closedFn), std::move(wakeFn));
    m_thread->setObjectName(QStringLiteral("murmeli.hookserver"));
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

HookServer::~HookServer()
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    // Deleting the context discards deliveries still queued for this server.
    m_context.reset();
}

void HookServer::start(quint16 port, std::optional<QString> secret, bool skipKeychain)
{
    if (isRunning()) {
        return;
    }
    std::optional<QString> resolved;
    if (secret) {
        resolved = secret;
    } else if (!skipKeychain) {
        const QString stored
            = m_keychain.load(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"));
        if (!stored.isEmpty()) {
            resolved = stored;
        }
    }
    setSecret(resolved);
    m_shared->asyncReplies = static_cast<bool>(asyncEventResponse);
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->heldEventNames = heldEvents;
    }
    // Listening is synchronous so the bound port is known when start() returns.
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, port] { worker->listen(port); }, Qt::BlockingQueuedConnection);
}

void HookServer::stop()
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->stopListening(); }, Qt::BlockingQueuedConnection);
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

qint64 HookServer::lastEventAgeSec() const
{
    using namespace std::chrono;
    const std::lock_guard lock(m_shared->mutex);
    if (!m_shared->lastEventAtMs) {
        return -1;
    }
    const qint64 now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return (now - *m_shared->lastEventAtMs) / 1000;
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

void HookServer::log(const QString& line)
{
    if (onLog) {
        onLog(line);
    }
}

void HookServer::flushPending()
{
    QPointer<QObject> alive = m_context.get();
    for (DeliveryOutbox::Item& item : m_outbox.takeAll()) {
        if (!alive) {
            return;
        }
        switch (item.kind) {
        case DeliveryOutbox::Kind::Log:
            log(item.eventName);
            break;
        case DeliveryOutbox::Kind::PeerClosed:
            peerClosed(item.connectionId);
            break;
        case DeliveryOutbox::Kind::Event:
        case DeliveryOutbox::Kind::EventHeld: {
            const http::Delivery delivery { std::move(item.eventName), std::move(item.body), std::move(item.adapter) };
            deliver(item.connectionId, delivery.eventName, delivery.payload(),
                item.kind == DeliveryOutbox::Kind::EventHeld);
            break;
        }
        }
    }
}

void HookServer::deliver(quint64 connectionId, const QString& eventName, const QJsonObject& payload, bool awaitsReply)
{
    log(QStringLiteral("Hook: ") + eventName);
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
    QPointer<QObject> alive = m_context.get();
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
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, connectionId, status, body] { worker->reply(connectionId, status, body); },
        Qt::QueuedConnection);
}

} // namespace murmeli::hooks
