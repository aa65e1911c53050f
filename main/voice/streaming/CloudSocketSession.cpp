#include "main/voice/streaming/CloudSocketSession.h"

#include <utility>

#include "main/common/OneShot.h"
#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/preferences/ProxySetting.h"
#include "main/voice/streaming/WebSocketScheme.h"
#include "platform/net/NetworkSessionFactory.h"

namespace murmeli::voice {

CloudSocketSession::CloudSocketSession(
    platform::Defaults& defaults, common::Clock& clock, InputsProvider inputs, SessionFactory factory)
    : m_defaults(defaults), m_clock(clock), m_inputs(std::move(inputs)),
      m_factory(factory ? std::move(factory) : SessionFactory(&platform::makeNetworkSession))
{
}

CloudSocketSession::~CloudSocketSession()
{
    platform::closeAndRelease(std::move(m_preconnected), normalClosure);
}

std::optional<QString> CloudSocketSession::setProxy(const QString& host, int port)
{
    if (std::optional<QString> problem = ProxySetting::validate(host, port)) {
        return problem;
    }
    storeProxy(host, port);
    return std::nullopt;
}

void CloudSocketSession::clearProxy()
{
    storeProxy({}, 0);
}

void CloudSocketSession::loadProxySettings()
{
    const QString host = m_defaults.stringValue(QString::fromLatin1(proxyHostKey)).value_or(QString());
    const qint64 port = m_defaults.intValue(QString::fromLatin1(proxyPortKey)).value_or(0);
    m_proxiedSession.reset();
    m_proxyHost.clear();
    m_proxyPort = 0;
    if (host.isEmpty() || port < 1) {
        return; // no proxy was stored
    }
    if (const std::optional<QString> problem = ProxySetting::validate(host, port)) {
        if (onLog) {
            onLog(QStringLiteral("WS Proxy setting ignored, connecting direct: ") + *problem, common::LogColor::Orange);
        }
        return;
    }
    m_proxyHost = host;
    m_proxyPort = static_cast<int>(port);
}

std::shared_ptr<platform::NetworkSession> CloudSocketSession::wsSession()
{
    if (m_proxiedSession) {
        return m_proxiedSession;
    }
    if (hasProxy()) {
        m_proxiedSession
            = m_factory(QNetworkProxy(QNetworkProxy::HttpProxy, m_proxyHost, static_cast<quint16>(m_proxyPort)));
        return m_proxiedSession;
    }
    // Only the stored proxy counts: without one, sockets connect directly whatever the environment says.
    if (!m_directSession) {
        m_directSession = m_factory(QNetworkProxy(QNetworkProxy::NoProxy));
    }
    return m_directSession;
}

std::optional<StreamingConfig> CloudSocketSession::streamingConfig() const
{
    const StreamingInputs inputs = m_inputs();
    if (inputs.effectiveBackendId != QLatin1String(SpeechBackends::cloudStreamingId) || inputs.cloudToken.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QUrl> url = webSocketEndpoint(inputs.cloudWorkerUrl, QString::fromLatin1(streamingPath));
    if (!url) {
        return std::nullopt;
    }
    return StreamingConfig { *url, inputs.cloudToken, QString::fromLatin1(SpeechBackends::cloudStreamingModel) };
}

void CloudSocketSession::preconnectIfNeeded()
{
    const std::optional<StreamingConfig> config = streamingConfig();
    if (!config) {
        return;
    }
    platform::closeAndRelease(std::move(m_preconnected), normalClosure);
    m_preconnected = wsSession()->openWebSocket(bearerRequest(config->url, config->authToken, preconnectTimeoutMs));
    m_preconnectedAtMs = m_clock.continuousMs();
}

std::unique_ptr<platform::WebSocket> CloudSocketSession::takePreconnected()
{
    if (!m_preconnected) {
        return nullptr;
    }
    if (m_preconnectedAtMs && m_clock.continuousMs() - *m_preconnectedAtMs < preconnectFreshMs) {
        m_preconnectedAtMs.reset();
        return std::move(m_preconnected);
    }
    // Stale (or of unknown age): the take opens its own socket instead.
    platform::closeAndRelease(std::move(m_preconnected), normalClosure);
    return nullptr;
}

QCoro::Task<std::optional<QString>> CloudSocketSession::testConnection()
{
    const std::optional<StreamingConfig> config = streamingConfig();
    if (!config) {
        co_return QString::fromLatin1(noConfigurationText);
    }
    std::unique_ptr<platform::WebSocket> socket
        = wsSession()->openWebSocket(bearerRequest(config->url, config->authToken, connectionTestTimeoutMs));
    common::OneShot<QString> outcome;
    socket->ping([outcome](const QString& error) mutable { outcome.fulfil(error); });
    // The socket's own limit covers the handshake; this one also covers a pong that never comes.
    common::Clock& clock = m_clock;
    const common::Clock::TimerId limit = clock.schedule(connectionTestTimeoutMs, [outcome]() mutable {
        outcome.fulfil(QStringLiteral("The connection test timed out after %1 s").arg(connectionTestTimeoutMs / 1000));
    });
    const QString error = co_await outcome;
    clock.cancel(limit);
    platform::closeAndRelease(std::move(socket), normalClosure);
    if (error.isEmpty()) {
        co_return std::nullopt;
    }
    co_return QStringLiteral("WS failed: ") + error;
}

void CloudSocketSession::storeProxy(const QString& host, int port)
{
    m_proxyHost = host;
    m_proxyPort = port;
    // Sockets already open keep the session they came from; the next socket gets one for the new proxy.
    m_proxiedSession.reset();
    m_defaults.setValue(QString::fromLatin1(proxyHostKey), host);
    m_defaults.setValue(QString::fromLatin1(proxyPortKey), port);
}

} // namespace murmeli::voice
