#include "main/voice/streaming/ProxyEndpoint.h"

#include <QUrl>

namespace murmeli::voice {

std::optional<QString> proxyEndpointProblem(const QString& host, int port)
{
    if (host.isEmpty()) {
        return QStringLiteral("The proxy host is empty");
    }
    if (host.contains(QLatin1String("://"))) {
        return QStringLiteral("The proxy host must be a bare host name or address, without a scheme such as http://");
    }
    for (const QChar c : host) {
        if (c.isSpace()) {
            return QStringLiteral("The proxy host must not contain spaces");
        }
    }
    if (port < 1 || port > 65535) {
        return QStringLiteral("The proxy port must lie between 1 and 65535, not %1").arg(port);
    }
    return std::nullopt;
}

std::optional<QString> readEnvironment(const char* name)
{
    if (!qEnvironmentVariableIsSet(name)) {
        return std::nullopt;
    }
    return qEnvironmentVariable(name);
}

std::optional<ProxyEndpoint> detectSystemProxy(const EnvironmentReader& environment)
{
    // Linux keeps no proxy dictionary of its own as the desktop systems do; the environment is the whole source.
    std::optional<QString> value = environment("https_proxy");
    if (!value) {
        value = environment("HTTPS_PROXY");
    }
    if (!value) {
        return std::nullopt;
    }
    const QUrl url(*value, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 0) {
        return std::nullopt;
    }
    return ProxyEndpoint { url.host(), url.port() };
}

} // namespace murmeli::voice
