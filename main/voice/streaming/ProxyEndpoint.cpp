#include "main/voice/streaming/ProxyEndpoint.h"

#include <QUrl>

namespace murmeli::voice {

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
