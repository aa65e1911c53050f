#include "platform/applescript/ScriptHostFactory.h"

#include "platform/applescript/unavailable/UnavailableScriptHost.h"

namespace murmeli::platform {

std::unique_ptr<ScriptHost> makeScriptHost()
{
    // Linux has no AppleScript host; the terminals such scripts would steer do not run here either.
    return std::make_unique<UnavailableScriptHost>();
}

} // namespace murmeli::platform
