#include "main/voice/cloud/WorkerSocketUrl.h"

namespace murmeli::voice {

QString asWebSocketScheme(const QString& address)
{
    QString converted = address;
    converted.replace(QLatin1String("https://"), QLatin1String("wss://"));
    converted.replace(QLatin1String("http://"), QLatin1String("ws://"));
    return converted;
}

std::optional<QUrl> workerSocketUrl(const QString& workerURL, const QString& path)
{
    const QUrl url(asWebSocketScheme(workerURL) + path, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("wss") && scheme != QLatin1String("ws"))) {
        return std::nullopt;
    }
    return url;
}

} // namespace murmeli::voice
