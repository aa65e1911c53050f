#include "main/cloud/api/CloudHttpClient.h"

#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>

#include "main/cloud/api/HttpExchange.h"
#include "main/cloud/api/HttpReplyReader.h"
#include "main/common/Clock.h"

namespace murmeli::cloud {

namespace {

/// The request as it goes on the wire. The agent field stays as Qt's manager sent it, since front ends of web
/// services tend to turn away requests without one. No compression is offered, since nothing here would undo it,
/// and the connection closes after the one reply.
QByteArray requestBytes(const CloudHttpClient::Request& request)
{
    const QUrl& url = request.url;
    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty()) {
        target = "/";
    }
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    if (url.port() != -1) {
        host += ':' + QByteArray::number(url.port());
    }

    QByteArray wire = request.method + ' ' + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    for (const auto& [name, value] : request.headers) {
        wire += name + ": " + value + "\r\n";
    }
    if (request.body) {
        wire += "Content-Length: " + QByteArray::number(request.body->size()) + "\r\n";
    }
    if (!HttpReplyReader::find(request.headers, "User-Agent")) {
        wire += "User-Agent: Mozilla/5.0\r\n";
    }
    wire += "Connection: close\r\n\r\n";
    if (request.body) {
        wire += *request.body;
    }
    return wire;
}

/// The proxy a connection to url takes. A session on the default proxy is resolved per address as Qt's manager
/// resolves it (so http_proxy and https_proxy apply as they always did), keeping the first proxy a socket can tunnel
/// through.
QNetworkProxy proxyFor(const QNetworkProxy& sessionProxy, const QUrl& url)
{
    if (sessionProxy.type() != QNetworkProxy::DefaultProxy) {
        return sessionProxy;
    }
    const QList<QNetworkProxy> candidates = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy& candidate : candidates) {
        if (candidate.type() == QNetworkProxy::NoProxy
            || candidate.capabilities().testFlag(QNetworkProxy::TunnelingCapability)) {
            return candidate;
        }
    }
    return candidates.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : candidates.first();
}

bool isHttpAddress(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

} // namespace

std::optional<QByteArray> CloudHttpClient::Reply::header(QByteArrayView name) const
{
    return HttpReplyReader::find(headers, name);
}

std::optional<QUrl> CloudHttpClient::endpoint(const QString& base, const QString& path)
{
    const QUrl url(base + path, QUrl::StrictMode);
    return isHttpAddress(url) ? std::optional(url) : std::nullopt;
}

CloudHttpClient::CloudHttpClient(QNetworkAccessManager& network, common::Clock& clock)
    : m_network(&network), m_clock(clock)
{
}

QCoro::Task<CloudHttpClient::Outcome> CloudHttpClient::send(Request request)
{
    if (!m_network) {
        co_return Failure { Failure::Kind::Transport, QStringLiteral("No network session.") };
    }
    if (!isHttpAddress(request.url)) {
        co_return Failure { Failure::Kind::Transport,
            QStringLiteral("Unsupported address: ") + request.url.toString() };
    }
    // Nothing of this client is touched after the first suspension: it may be gone by the time the reply is.
    common::Clock& clock = m_clock;

    const auto exchange = std::make_shared<HttpExchange>(
        request.url, requestBytes(request), proxyFor(m_network->proxy(), request.url), request.maxReplyBytes);
    const std::weak_ptr<HttpExchange> running = exchange;
    const common::Clock::TimerId timer = clock.schedule(request.timeoutMs, [running] {
        if (const auto late = running.lock()) {
            late->fail({ Failure::Kind::TimedOut, QString::fromLatin1(timedOutText) });
        }
    });
    Outcome outcome = co_await exchange->outcome();
    clock.cancel(timer);
    co_return outcome;
}

} // namespace murmeli::cloud
