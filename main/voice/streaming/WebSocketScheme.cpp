#include "main/voice/streaming/WebSocketScheme.h"

namespace murmeli::voice {

QString asWebSocketScheme(const QString& text)
{
    QString converted = text;
    converted.replace(QLatin1String("https://"), QLatin1String("wss://"));
    converted.replace(QLatin1String("http://"), QLatin1String("ws://"));
    return converted;
}

std::optional<QUrl> webSocketEndpoint(const QString& workerUrl, const QString& path)
{
    const QUrl url(asWebSocketScheme(workerUrl) + path, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("ws") && scheme != QLatin1String("wss"))) {
        return std::nullopt;
    }
    return url;
}

platform::WebSocketRequest bearerRequest(const QUrl& url, const QString& token, int handshakeTimeoutMs)
{
    platform::WebSocketRequest request;
    request.url = url;
    request.headers.append(std::pair<QByteArray, QByteArray>("Authorization", "Bearer " + token.toUtf8()));
    request.handshakeTimeoutMs = handshakeTimeoutMs;
    return request;
}

} // namespace murmeli::voice
