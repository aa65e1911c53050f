#pragma once

#include <chrono>
#include <functional>

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <QCoroTask>

namespace murmeli::common {

/// What became of one child process.
struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    bool crashed = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    bool outputTruncated = false;
    /// What went wrong, for a log line; empty when the child ran to its end.
    QString errorText;
    /// The platform's own description of a start failure or crash; empty otherwise.
    QString systemError;

    /// The child started, ran to its end within the time limit, and exited with status 0.
    bool succeeded() const;
};

/// One child to run: a program and its arguments, never a shell command line.
struct ProcessRequest {
    QString program;
    QStringList arguments;
    std::chrono::milliseconds timeout { 10000 };
    QByteArray standardInput {};
    QString workingDirectory {};
    QProcessEnvironment environment {}; // empty: the child inherits ours
    qsizetype maxOutputBytes = 16 * 1024 * 1024;
    /// Standard error joins standard output in one channel (standardOutput), interleaved as the child wrote them.
    bool mergeChannels = false;
};

/// Runs the child on the calling thread's event loop and completes when it has ended, was stopped at its time limit,
/// or could not start. Standard output and standard error are each kept up to maxOutputBytes.
QCoro::Task<ProcessResult> runProcess(ProcessRequest request);

/// Runs the child to its end on the calling thread, which it blocks for at most the request's time limit plus a short
/// stop grace; both channels are drained while it runs, each kept up to maxOutputBytes. For worker threads only.
ProcessResult runProcessBlocking(const ProcessRequest& request);

/// How subsystems run commands, so tests can put a scripted runner in place of real children.
using CommandRunner = std::function<QCoro::Task<ProcessResult>(ProcessRequest)>;

/// A runner backed by runProcess().
CommandRunner defaultCommandRunner();

} // namespace murmeli::common
