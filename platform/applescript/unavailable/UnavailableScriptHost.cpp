#include "platform/applescript/unavailable/UnavailableScriptHost.h"

namespace murmeli::platform {

bool UnavailableScriptHost::isAvailable() const
{
    return false;
}

ScriptResult UnavailableScriptHost::run(const QString& script, std::chrono::milliseconds timeout)
{
    Q_UNUSED(script);
    Q_UNUSED(timeout);
    // A launch failure rather than a script error: the text holds none of the permission phrases, so a caller that
    // reads it as a terminal jump ends with the terminal out of reach.
    ScriptResult result;
    result.errorText = QStringLiteral("osascript is not available on this system");
    return result;
}

} // namespace murmeli::platform
