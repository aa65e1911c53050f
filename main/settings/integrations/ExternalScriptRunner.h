#pragma once

#include <chrono>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "main/common/ProcessRunner.h"

namespace murmeli::settings {

/// Runs an installer script and returns what it printed (both channels, interleaved as written) with its exit
/// status; -1 when it could not be started, crashed or was stopped. Runs on the caller's event loop, never blocking it.
namespace ExternalScriptRunner {

/// Installers only edit a few local files; one that runs this long hangs and would keep its adapter busy for ever.
inline constexpr std::chrono::minutes timeLimit { 5 };

struct Result {
    QString output;
    int exitCode = -1;

    bool operator==(const Result&) const = default;
};

/// The child to run: the interpreter with the arguments, both channels in one, the time limit, and `environment` as
/// its whole environment (ours when empty).
common::ProcessRequest request(
    const QString& interpreter, const QStringList& arguments, const QProcessEnvironment& environment = {});

/// What the user is shown of a finished run. Bytes that are not UTF-8 are replaced, never dropped with the rest.
Result resultOf(const common::ProcessResult& run, const QString& interpreter);

/// Runs the interpreter through `runner` and waits for its end.
QCoro::Task<Result> run(
    common::CommandRunner runner, QString interpreter, QStringList arguments, QProcessEnvironment environment = {});

} // namespace ExternalScriptRunner

} // namespace murmeli::settings
