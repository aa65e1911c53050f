#pragma once

#include <memory>
#include <vector>

#include <QPointer>

#include "platform/net/NetworkSession.h"
#include "platform/net/fake/FakeWebSocket.h"

namespace murmeli::platform {

/// A network session for tests: every WebSocket it opens is a FakeWebSocket the test can reach; HTTP goes through
/// a real QNetworkAccessManager (tests point it at a loopback server).
class FakeNetworkSession final : public NetworkSession {
public:
    explicit FakeNetworkSession(QNetworkProxy proxy = QNetworkProxy(QNetworkProxy::NoProxy));
    ~FakeNetworkSession() override;

    QNetworkProxy proxy() const override;
    std::unique_ptr<WebSocket> openWebSocket(const WebSocketRequest& request) override;
    QNetworkAccessManager& accessManager() override;

    /// Every socket opened so far, oldest first; an entry is null once its owner has destroyed it.
    const std::vector<QPointer<FakeWebSocket>>& sockets() const { return m_sockets; }
    /// The newest socket, or null when none was opened or it is gone.
    FakeWebSocket* lastSocket() const;
    int openCount() const { return static_cast<int>(m_sockets.size()); }

private:
    QNetworkProxy m_proxy;
    std::vector<QPointer<FakeWebSocket>> m_sockets;
    std::unique_ptr<QNetworkAccessManager> m_accessManager;
};

} // namespace murmeli::platform
