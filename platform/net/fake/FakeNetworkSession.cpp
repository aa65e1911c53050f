#include "platform/net/fake/FakeNetworkSession.h"

#include <QNetworkAccessManager>

namespace murmeli::platform {

FakeNetworkSession::FakeNetworkSession(QNetworkProxy proxy) : m_proxy(std::move(proxy)) { }

FakeNetworkSession::~FakeNetworkSession() = default;

QNetworkProxy FakeNetworkSession::proxy() const
{
    return m_proxy;
}

std::unique_ptr<WebSocket> FakeNetworkSession::openWebSocket(const WebSocketRequest& request)
{
    auto socket = std::make_unique<FakeWebSocket>(request);
    m_sockets.emplace_back(socket.get());
    return socket;
}

QNetworkAccessManager& FakeNetworkSession::accessManager()
{
    if (!m_accessManager) {
        m_accessManager = std::make_unique<QNetworkAccessManager>();
        m_accessManager->setProxy(m_proxy);
    }
    return *m_accessManager;
}

FakeWebSocket* FakeNetworkSession::lastSocket() const
{
    return m_sockets.empty() ? nullptr : m_sockets.back().data();
}

} // namespace murmeli::platform
