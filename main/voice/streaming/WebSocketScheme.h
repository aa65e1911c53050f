#pragma once

#include <optional>

#include <QString>
#include <QUrl>

#include "platform/net/WebSocket.h"

namespace murmeli::voice {

/// text with every "https://" turned into "wss://", then every "http://" into "ws://" (literal, case-sensitive).
QString asWebSocketScheme(const QString& text);

/// The WebSocket address of an endpoint of the cloud worker: the worker address in the WebSocket scheme followed
/// by path; nullopt when that is not a ws or wss address with a host.
std::optional<QUrl> webSocketEndpoint(const QString& workerUrl, const QString& path);

/// The opening request of a socket to the cloud worker: the address, the "Authorization: Bearer <token>" header and
/// the handshake time-out.
platform::WebSocketRequest bearerRequest(const QUrl& url, const QString& token, int handshakeTimeoutMs);

} // namespace murmeli::voice
