#include "platform/net/qt/QtNetworkSession.h"

#include <QNetworkAccessManager>

#include "platform/net/qt/QtWebSocket.h"

namespace murmeli::platform {

QtNetworkSession::QtNetworkSession(QNetworkProxy proxy) : m_proxy(std::move(proxy)) { }

QtNetworkSession::~QtNetworkSession() = default;

QNetworkProxy QtNetworkSession::proxy() const
{
    return m_proxy;
}

std::unique_ptr<WebSocket> QtNetworkSession::openWebSocket(const WebSocketRequest& request)
{
    return std::make_unique<QtWebSocket>(request, m_proxy);
}

QNetworkAccessManager& QtNetworkSession::accessManager()
{
    if (!m_accessManager) {
        m_accessManager = std::make_unique<QNetworkAccessManager>();
        m_accessManager->setProxy(m_proxy);
    }
    return *m_accessManager;
}

} // namespace murmeli::platform
