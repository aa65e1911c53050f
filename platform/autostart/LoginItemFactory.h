#pragma once

#include <memory>

#include <QString>

#include "platform/autostart/LoginItem.h"

namespace murmeli::platform {

/// The desktop's autostart entry for the executable at executablePath.
std::unique_ptr<LoginItem> makeLoginItem(const QString& executablePath);

} // namespace murmeli::platform
