#pragma once

#include <memory>

#include <QNetworkProxy>

#include "platform/net/NetworkSession.h"

namespace murmeli::platform {

/// Connections through Qt's network stack: QWebSocket and QNetworkAccessManager, both given the session's proxy.
class QtNetworkSession final : public NetworkSession {
public:
    explicit QtNetworkSession(QNetworkProxy proxy);
    ~QtNetworkSession() override;

    QNetworkProxy proxy() const override;
    std::unique_ptr<WebSocket> openWebSocket(const WebSocketRequest& request) override;
    QNetworkAccessManager& accessManager() override;

private:
    QNetworkProxy m_proxy;
    std::unique_ptr<QNetworkAccessManager> m_accessManager;
};

} // namespace murmeli::platform
