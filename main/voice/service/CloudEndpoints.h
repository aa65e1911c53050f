#pragma once

#include <optional>

#include <QProcessEnvironment>
#include <QString>

/// Where the cloud service answers. The speech worker's endpoints ("/transcribe", "/account", "/ws/transcribe",
/// "/ws/transcribe-v3") are appended to the base address.
namespace murmeli::voice::CloudEndpoints {

/// The service's own address, used unless the environment names another.
inline constexpr auto builtInBaseURL = "https://api.murmeli.cloud";

/// Points murmeli at another worker: a local mock in tests, a self-hosted worker, a staging service. Its value
/// must be an http or https address with a host and nothing after the path, e.g. "http://127.0.0.1:8787".
inline constexpr auto baseURLVariable = "MURMELI_CLOUD_URL";

/// The base address without a trailing slash: the variable's value when it is usable, else builtInBaseURL.
QString defaultBaseURL(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

/// Why the variable is set but ignored, for one start-up log line; nullopt when it is unset or usable.
std::optional<QString> ignoredOverride(
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace murmeli::voice::CloudEndpoints
