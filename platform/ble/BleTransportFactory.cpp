#include "platform/ble/BleTransportFactory.h"

#include "platform/ble/unavailable/UnavailableBleTransport.h"

namespace murmeli::platform {

std::unique_ptr<BleTransport> makeBleTransport()
{
    return std::make_unique<UnavailableBleTransport>(QStringLiteral("Bluetooth support was not built in"));
}

} // namespace murmeli::platform
