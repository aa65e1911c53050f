#pragma once

#include <functional>
#include <optional>

#include <QString>

namespace murmeli::voice {

/// A proxy host and port, as the environment names it.
struct ProxyEndpoint final {
    QString host;
    int port = 0;

    bool operator==(const ProxyEndpoint&) const = default;
};

/// Reads one environment variable: its value, or nullopt when it is not set.
using EnvironmentReader = std::function<std::optional<QString>(const char* name)>;

/// The process environment.
std::optional<QString> readEnvironment(const char* name);

/// The proxy the environment names: "https_proxy", or "HTTPS_PROXY" when the first is not set, read as a URL with a
/// host and an explicit port. Nothing calls this to choose a proxy; only the stored setting reaches the sockets.
std::optional<ProxyEndpoint> detectSystemProxy(const EnvironmentReader& environment = readEnvironment);

} // namespace murmeli::voice
