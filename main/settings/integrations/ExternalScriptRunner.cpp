#include "main/settings/integrations/ExternalScriptRunner.h"

namespace murmeli::settings::ExternalScriptRunner {

common::ProcessRequest request(
    const QString& interpreter, const QStringList& arguments, const QProcessEnvironment& environment)
{
    common::ProcessRequest request;
    request.program = interpreter;
    request.arguments = arguments;
    request.timeout = timeLimit;
    // One channel for both, so the user sees errors where they happened among the output.
    request.mergeChannels = true;
    // The installer must see the variables the page resolved the agents' files with, and no others.
    request.environment = environment;
    return request;
}

Result resultOf(const common::ProcessResult& run, const QString& interpreter)
{
    if (!run.started) {
        return { QStringLiteral("Failed to launch ") + interpreter + QStringLiteral(": ") + run.systemError, -1 };
    }
    // A stray byte from some tool the script called must not hide everything else it printed.
    QString output = QString::fromUtf8(run.standardOutput);
    if (run.timedOut || run.crashed) {
        // The user reads this output to learn why the install failed; the stop is part of that story.
        output += (output.isEmpty() || output.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n"))
            + run.errorText + QLatin1Char('\n');
    }
    return { output, run.timedOut || run.crashed ? -1 : run.exitCode };
}

QCoro::Task<Result> run(
    common::CommandRunner runner, QString interpreter, QStringList arguments, QProcessEnvironment environment)
{
    const common::ProcessResult finished = co_await runner(request(interpreter, arguments, environment));
    co_return resultOf(finished, interpreter);
}

} // namespace murmeli::settings::ExternalScriptRunner
