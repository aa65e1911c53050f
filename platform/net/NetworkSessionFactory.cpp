#include "platform/net/NetworkSessionFactory.h"

#include "platform/net/qt/QtNetworkSession.h"

namespace murmeli::platform {

std::shared_ptr<NetworkSession> makeNetworkSession(const QNetworkProxy& proxy)
{
    return std::make_shared<QtNetworkSession>(proxy);
}

} // namespace murmeli::platform
