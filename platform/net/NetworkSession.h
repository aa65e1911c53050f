#pragma once

#include <memory>

#include <QNetworkProxy>
#include <QtGlobal>

#include "platform/net/WebSocket.h"

class QNetworkAccessManager;

namespace murmeli::platform {

/// Where a group of outgoing connections comes from: every WebSocket and HTTP request made through one session goes
/// through its proxy. Used on one thread, the one that created it.
class NetworkSession {
public:
    NetworkSession() = default;
    virtual ~NetworkSession() = default;
    Q_DISABLE_COPY_MOVE(NetworkSession)

    /// The proxy every connection of this session takes (NoProxy for a direct connection).
    virtual QNetworkProxy proxy() const = 0;
    /// Creates a WebSocket client connection and starts its handshake.
    virtual std::unique_ptr<WebSocket> openWebSocket(const WebSocketRequest& request) = 0;
    /// The HTTP client of this session, created on first use with the session's proxy.
    virtual QNetworkAccessManager& accessManager() = 0;
};

} // namespace murmeli::platform
