#include "platform/ble/BleTransportFactory.h"

#include "platform/ble/unavailable/UnavailableBleTransport.h"
#if MURMELI_HAVE_QT_BLUETOOTH
#include "platform/ble/qt/QtBleTransport.h"
#endif

namespace murmeli::platform {

std::unique_ptr<BleTransport> makeBleTransport()
{
#if MURMELI_HAVE_QT_BLUETOOTH
    return std::make_unique<QtBleTransport>();
#else
    return std::make_unique<UnavailableBleTransport>(QStringLiteral("Bluetooth support was not built in"));
#endif
}

} // namespace murmeli::platform
