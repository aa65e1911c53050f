#pragma once

#include <memory>

#include "platform/ble/BleTransport.h"

namespace murmeli::platform {

/// The Bluetooth LE transport of this system: QtBluetooth over BlueZ where murmeli was built with it, else one
/// that reports Bluetooth as unsupported.
std::unique_ptr<BleTransport> makeBleTransport();

} // namespace murmeli::platform
