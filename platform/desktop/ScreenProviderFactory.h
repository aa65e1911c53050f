#pragma once

#include <memory>

#include "platform/desktop/ScreenProvider.h"

namespace murmeli::platform {

/// The screens of the running GUI application; needs a QGuiApplication.
std::unique_ptr<ScreenProvider> makeScreenProvider();

} // namespace murmeli::platform
