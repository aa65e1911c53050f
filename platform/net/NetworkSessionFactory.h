#pragma once

#include <memory>

#include <QNetworkProxy>

#include "platform/net/NetworkSession.h"

namespace murmeli::platform {

/// A network session whose connections go through proxy; QNetworkProxy::NoProxy connects directly.
std::shared_ptr<NetworkSession> makeNetworkSession(const QNetworkProxy& proxy);

} // namespace murmeli::platform
