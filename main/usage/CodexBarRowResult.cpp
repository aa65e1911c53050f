#include "main/usage/CodexBarRowResult.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "main/common/ProcessRunner.h"
#include "main/usage/CodexBarCommand.h"
#include "main/usage/CodexBarOutputParser.h"

namespace murmeli::usage {

namespace {

// The exit status a shell's timeout command gives, which is what users of the tool know a time-out by.
constexpr qint32 timeoutExitCode = 124;

std::chrono::milliseconds limitOf(double timeoutSec)
{
    // A NaN or negative limit would make the run end before it starts; an enormous one would overflow.
    const double seconds = std::isfinite(timeoutSec) ? std::clamp(timeoutSec, 0.0, 86400.0) : 0.0;
    return std::chrono::milliseconds(std::llround(seconds * 1000.0));
}

QString errorOutput(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).trimmed().left(CodexBarRowResult::maxErrorChars);
}

} // namespace

CodexBarRowResult CodexBarRowResult::run(
    const QString& command, double timeoutSec, const QStringList& searchDirectories)
{
    CodexBarRowResult result;
    result.timeoutSec = timeoutSec;
    const auto arguments = CodexBarCommand::arguments(command);
    if (!arguments) {
        result.outcome = Outcome::InvalidCommand;
        return result;
    }
    const QString tool = CodexBarCommand::locate(searchDirectories);
    if (tool.isEmpty()) {
        result.outcome = Outcome::NotInstalled;
        return result;
    }

    common::ProcessRequest request;
    request.program = tool;
    request.arguments = *arguments;
    request.timeout = limitOf(timeoutSec);
    request.maxOutputBytes = maxOutputBytes;
    const common::ProcessResult process = common::runProcessBlocking(request);

    if (!process.started) {
        result.outcome = process.timedOut ? Outcome::TimedOut : Outcome::SpawnFailed;
        result.errorText = process.systemError.isEmpty() ? process.errorText : process.systemError;
    } else if (process.timedOut) {
        result.outcome = Outcome::TimedOut;
    } else if (process.crashed) {
        result.outcome = Outcome::Crashed;
        result.errorText = errorOutput(process.standardError);
    } else if (process.exitCode != 0) {
        result.outcome = Outcome::ExitFailure;
        result.exitCode = process.exitCode;
        result.errorText = errorOutput(process.standardError);
    } else if (auto providers = CodexBarOutputParser::parse(process.standardOutput)) {
        result.outcome = Outcome::Parsed;
        result.providers = std::move(*providers);
    } else {
        result.outcome = Outcome::ParseFailed;
    }
    return result;
}

std::optional<qint32> CodexBarRowResult::statusExitCode() const
{
    switch (outcome) {
    case Outcome::ExitFailure:
        return exitCode;
    case Outcome::TimedOut:
        return timeoutExitCode;
    default:
        return std::nullopt;
    }
}

QString CodexBarRowResult::message() const
{
    const QString stderrText = errorText.isEmpty() ? QStringLiteral("(no stderr)") : errorText;
    switch (outcome) {
    case Outcome::InvalidCommand:
        return QStringLiteral("Invalid command — must start with `codexbar`");
    case Outcome::NotInstalled:
        return QStringLiteral("codexbar not found in PATH");
    case Outcome::SpawnFailed:
        return QStringLiteral("spawn failed: ") + errorText;
    case Outcome::TimedOut:
        return QStringLiteral("exit=%1 — timeout after %2s").arg(timeoutExitCode).arg(QString::number(timeoutSec));
    case Outcome::Crashed:
        // A child killed by a signal has no exit status of its own.
        return QStringLiteral("exit=-1 — ") + stderrText;
    case Outcome::ExitFailure:
        return QStringLiteral("exit=%1 — ").arg(exitCode) + stderrText;
    case Outcome::ParseFailed:
        return QStringLiteral("exit=0 but JSON parse failed — schema mismatch");
    case Outcome::Parsed:
        return QStringLiteral("OK — JSON parsed, %1 provider(s) ready.").arg(providers.size());
    }
    return {};
}

} // namespace murmeli::usage
