#pragma once

#include <chrono>

#include <QString>
#include <QStringList>

namespace murmeli::settings {

/// Runs an installer script and returns what it printed (both channels, interleaved as written) with its exit
/// status; -1 when it could not be started, crashed or was stopped. Blocks the calling thread, so flows call it off
/// the main thread.
namespace ExternalScriptRunner {

/// Installers only edit a few local files; one that runs this long hangs and would hold its worker for ever.
inline constexpr std::chrono::minutes timeLimit { 5 };

struct Result {
    QString output;
    int exitCode = -1;
};

Result run(const QString& interpreter, const QStringList& arguments);

} // namespace ExternalScriptRunner

} // namespace murmeli::settings
