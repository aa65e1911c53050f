#pragma once

#include "platform/applescript/ScriptHost.h"

namespace murmeli::platform {

/// The host of a system without AppleScript: every script fails to launch.
class UnavailableScriptHost final : public ScriptHost {
public:
    UnavailableScriptHost() = default;

    bool isAvailable() const override;
    ScriptResult run(const QString& script, std::chrono::milliseconds timeout) override;
};

} // namespace murmeli::platform
