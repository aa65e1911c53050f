#pragma once

#include <optional>

#include <QString>

#include "main/hooks/terminals/TeleportTypes.h"
#include "platform/applescript/ScriptHost.h"

/// Runs AppleScript texts on the platform's script host and reads what became of them.
namespace murmeli::hooks::AppleScriptRunner {

/// Seconds a script may run before it is stopped.
inline constexpr double appleScriptTimeout = 3.0;

/// What became of one script run.
struct Outcome final {
    std::optional<QString> standardOutput; // trimmed; nullopt unless the script ran to exit status 0 with UTF-8 output
    QString standardError; // "timeout" after the time limit, the launch error after a failed launch
    bool timedOut = false;
    int exitCode = -1; // -1 after a time-out, a failed launch or a crash

    friend bool operator==(const Outcome&, const Outcome&) = default;
};

/// Runs the script on the host with appleScriptTimeout as its limit; blocks, so call it off the main thread.
Outcome run(platform::ScriptHost& host, const QString& script);

/// How one report of the script host reads as an Outcome.
Outcome outcomeOf(const platform::ScriptResult& result);

/// The jump result an Outcome stands for.
TeleportResult mapOutcome(const Outcome& outcome);

/// Whether an application with that bundle identifier is running; always false here.
bool isRunning(const QString& bundleId);

} // namespace murmeli::hooks::AppleScriptRunner
