#include "main/settings/ExternalScriptRunner.h"

#include "main/common/ProcessRunner.h"
#include "main/common/TextUtils.h"

namespace murmeli::settings::ExternalScriptRunner {

Result run(const QString& interpreter, const QStringList& arguments)
{
    common::ProcessRequest request;
    request.program = interpreter;
    request.arguments = arguments;
    request.timeout = timeLimit;
    // One channel for both, so the user sees errors where they happened among the output.
    request.mergeChannels = true;
    const common::ProcessResult result = common::runProcessBlocking(request);
    if (!result.started) {
        return { QStringLiteral("Failed to launch ") + interpreter + QStringLiteral(": ") + result.systemError, -1 };
    }
    QString output = common::text::decodeUtf8Strictly(result.standardOutput).value_or(QString());
    if (result.timedOut) {
        // The user reads this output to learn why the install failed; the stop is part of that story.
        output += (output.isEmpty() || output.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n"))
            + result.errorText + QLatin1Char('\n');
    }
    return { output, result.timedOut || result.crashed ? -1 : result.exitCode };
}

} // namespace murmeli::settings::ExternalScriptRunner
