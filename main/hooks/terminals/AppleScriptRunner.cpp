#include "main/hooks/terminals/AppleScriptRunner.h"

#include <chrono>

#include "main/common/TextUtils.h"

namespace murmeli::hooks::AppleScriptRunner {

Outcome run(platform::ScriptHost& host, const QString& script)
{
    return outcomeOf(host.run(script, std::chrono::milliseconds(static_cast<int>(appleScriptTimeout * 1000))));
}

Outcome outcomeOf(const platform::ScriptResult& result)
{
    Outcome outcome;
    if (!result.started) {
        outcome.standardError = result.errorText;
        return outcome;
    }
    if (result.timedOut) {
        outcome.standardError = QStringLiteral("timeout");
        outcome.timedOut = true;
        return outcome;
    }
    outcome.standardError = common::text::decodeUtf8Strictly(result.standardError).value_or(QString());
    outcome.exitCode = result.crashed ? -1 : result.exitCode;
    if (outcome.exitCode == 0 && !result.outputTruncated) {
        if (const std::optional<QString> text = common::text::decodeUtf8Strictly(result.standardOutput)) {
            outcome.standardOutput = text->trimmed();
        }
    }
    return outcome;
}

TeleportResult mapOutcome(const Outcome& outcome)
{
    if (outcome.timedOut) {
        return TeleportResult::Timeout;
    }
    if (outcome.standardOutput) {
        return TeleportResult::Success;
    }
    const QString error = outcome.standardError.toLower();
    // -1743 is the number of an Apple event the user has not permitted.
    if (error.contains(u"not authorized") || error.contains(u"not allowed assistive access")
        || error.contains(u"erraeeventnotpermitted") || error.contains(u"-1743")) {
        return TeleportResult::PermissionDenied;
    }
    return TeleportResult::TerminalClosed;
}

bool isRunning(const QString& bundleId)
{
    // There is no registry of running applications by bundle identifier here, so every jump that asks ends as
    // terminalClosed without a script being tried.
    Q_UNUSED(bundleId);
    return false;
}

} // namespace murmeli::hooks::AppleScriptRunner
