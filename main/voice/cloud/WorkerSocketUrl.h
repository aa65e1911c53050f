#pragma once

#include <optional>

#include <QString>
#include <QUrl>

namespace murmeli::voice {

/// The worker address in WebSocket form: every "https://" becomes "wss://", then every "http://" becomes "ws://"
/// (literal and case-sensitive, as the worker address is written by us).
QString asWebSocketScheme(const QString& address);

/// The WebSocket address of one of the worker's socket endpoints: the worker address in WebSocket form followed by
/// path; nullopt unless that is a ws or wss URL with a host.
std::optional<QUrl> workerSocketUrl(const QString& workerURL, const QString& path);

} // namespace murmeli::voice
