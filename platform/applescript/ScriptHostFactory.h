#pragma once

#include <memory>

#include "platform/applescript/ScriptHost.h"

namespace murmeli::platform {

/// The script host for this system; on Linux one that answers every script as not runnable.
std::unique_ptr<ScriptHost> makeScriptHost();

} // namespace murmeli::platform
