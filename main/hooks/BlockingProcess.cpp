#include "main/hooks/BlockingProcess.h"

#include <algorithm>
#include <chrono>

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringDecoder>

namespace murmeli::hooks {

namespace {

using namespace std::chrono_literals;

// A child gets this long to go after SIGTERM (the AppleScript host's own allowance), then SIGKILL.
constexpr int terminateGraceMs = 200;
constexpr int killGraceMs = 1000;
// The longest stretch the child's output piles up inside QProcess before we move it into the capped buffers.
constexpr qint64 drainSliceMs = 20;

void appendCapped(QByteArray& into, const QByteArray& chunk, qsizetype cap, bool& truncated)
{
    const qsizetype room = std::max<qsizetype>(0, cap - into.size());
    if (chunk.size() > room) {
        truncated = true;
        into.append(chunk.constData(), room);
    } else {
        into.append(chunk);
    }
}

void drain(QProcess& process, common::ProcessResult& result, qsizetype cap)
{
    appendCapped(result.standardOutput, process.readAllStandardOutput(), cap, result.outputTruncated);
    appendCapped(result.standardError, process.readAllStandardError(), cap, result.outputTruncated);
}

// waitForFinished() reads both pipes while it waits, so a child filling its stderr pipe never stalls.
void waitAndDrain(QProcess& process, common::ProcessResult& result, qsizetype cap, QDeadlineTimer deadline)
{
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        const qint64 slice = std::clamp<qint64>(deadline.remainingTime(), 1, drainSliceMs);
        process.waitForFinished(static_cast<int>(slice));
        drain(process, result, cap);
    }
}

} // namespace

common::ProcessResult runProcessBlocking(const common::ProcessRequest& request)
{
    common::ProcessResult result;
    if (request.program.isEmpty()) {
        result.errorText = QStringLiteral("No program to run");
        return result;
    }
    const qsizetype cap = std::max<qsizetype>(0, request.maxOutputBytes);
    const QDeadlineTimer deadline(std::max(request.timeout, std::chrono::milliseconds::zero()));

    QProcess process;
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    if (!request.workingDirectory.isEmpty()) {
        process.setWorkingDirectory(request.workingDirectory);
    }
    if (!request.environment.isEmpty()) {
        process.setProcessEnvironment(request.environment);
    }
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
        if (process.state() == QProcess::NotRunning) {
            result.errorText
                = QStringLiteral("%1 could not be started: %2").arg(request.program, process.errorString());
            return result;
        }
    }
    result.started = true;
    if (!request.standardInput.isEmpty()) {
        process.write(request.standardInput);
    }
    // A child that reads its input sees the end at once instead of waiting on us.
    process.closeWriteChannel();

    waitAndDrain(process, result, cap, deadline);

    if (process.state() != QProcess::NotRunning) {
        result.timedOut = true;
        result.errorText = QStringLiteral("%1 did not finish within %2 ms and was stopped")
                               .arg(request.program)
                               .arg(request.timeout.count());
        process.terminate();
        waitAndDrain(process, result, cap, QDeadlineTimer(terminateGraceMs));
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            waitAndDrain(process, result, cap, QDeadlineTimer(killGraceMs));
        }
        return result;
    }
    drain(process, result, cap);
    if (process.exitStatus() == QProcess::CrashExit) {
        result.crashed = true;
        result.errorText = QStringLiteral("%1 crashed: %2").arg(request.program, process.errorString());
    } else {
        result.exitCode = process.exitCode();
    }
    return result;
}

std::optional<QString> decodeUtf8Strictly(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace murmeli::hooks
