#include "main/common/ProcessRunner.h"

#include <algorithm>
#include <coroutine>
#include <limits>
#include <memory>
#include <utility>

#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

namespace murmeli::common {

namespace {

using namespace std::chrono_literals;

// How long a child gets to end after SIGTERM before it is killed, and how long we then wait for the kill to land.
constexpr auto terminateGrace = 1000ms;
constexpr auto killGrace = 2000ms;

// Every child leads a process group of its own (see configure), which holds whatever it starts in turn: stopping the
// group stops them all, where stopping the child alone would leave its children running past the time limit. False
// when there was no such group (a child stopped before it could make its own is signalled on its own).
bool signalGroup(qint64 pid, int signal)
{
    return pid > 0 && ::kill(-static_cast<pid_t>(pid), signal) == 0;
}

} // namespace

// Named rather than anonymous: runProcess's coroutine frame holds these, and g++ names that frame outside any
// anonymous namespace (its bug 101118), so a type of the frame must have a name of its own that no other file uses.
namespace process_runner {

// Suspends the running coroutine until wake() or a deadline. We keep our own awaiter rather than awaiting
// qCoro(signal): QCoro 0.8 can deliver a queued emission to an awaiter that has already gone, and the child's
// signals come in bursts (started and finished in one event-loop pass for a quick child).
class Wakeup final {
public:
    Wakeup()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] { wake(); });
    }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // Resumes the waiter from the event loop, never from inside the signal that called us: the coroutine may
    // delete the QProcess that is still emitting. Posting to m_context means a destroyed frame drops the resume.
    void wake()
    {
        if (!m_waiter) {
            return;
        }
        m_timer.stop();
        QMetaObject::invokeMethod(
            &m_context, [waiter = std::exchange(m_waiter, {})] { waiter.resume(); }, Qt::QueuedConnection);
    }

    struct Awaiter {
        Wakeup& wakeup;
        QDeadlineTimer deadline;

        bool await_ready() const noexcept { return deadline.hasExpired(); }
        void await_suspend(std::coroutine_handle<> waiter)
        {
            wakeup.m_waiter = waiter;
            const qint64 remaining = std::clamp<qint64>(deadline.remainingTime(), 0, std::numeric_limits<int>::max());
            wakeup.m_timer.start(static_cast<int>(remaining));
        }
        void await_resume() const noexcept { }
    };

    Awaiter until(QDeadlineTimer deadline) { return Awaiter { *this, deadline }; }

private:
    QObject m_context;
    QTimer m_timer;
    std::coroutine_handle<> m_waiter;
};

// Owns the QProcess for the coroutine frame. A frame can go away while its child still runs (its owner gave up
// on it); the child is then killed without blocking this thread and the QProcess deleted once the child is reaped.
struct ProcessReaper {
    void operator()(QProcess* process) const
    {
        if (process->state() == QProcess::NotRunning) {
            delete process;
            return;
        }
        QObject::connect(process, &QProcess::stateChanged, process, [process](QProcess::ProcessState state) {
            if (state == QProcess::NotRunning) {
                process->deleteLater();
            }
        });
        if (!signalGroup(process->processId(), SIGKILL)) {
            process->kill();
        }
    }
};

} // namespace process_runner

namespace {

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

// A child gets this long to go after SIGTERM (the AppleScript host's own allowance), then SIGKILL.
constexpr int blockingTerminateGraceMs = 200;
constexpr int blockingKillGraceMs = 1000;
// The longest stretch the child's output piles up inside QProcess before we move it into the capped buffers.
constexpr qint64 drainSliceMs = 20;

void drain(QProcess& process, ProcessResult& result, qsizetype cap)
{
    appendCapped(result.standardOutput, process.readAllStandardOutput(), cap, result.outputTruncated);
    // Merged output has no error channel of its own; asking for it only makes Qt complain.
    if (process.processChannelMode() != QProcess::MergedChannels) {
        appendCapped(result.standardError, process.readAllStandardError(), cap, result.outputTruncated);
    }
}

// waitForFinished() reads both pipes while it waits, so a child filling its stderr pipe never stalls.
void waitAndDrain(QProcess& process, ProcessResult& result, qsizetype cap, QDeadlineTimer deadline)
{
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        const qint64 slice = std::clamp<qint64>(deadline.remainingTime(), 1, drainSliceMs);
        process.waitForFinished(static_cast<int>(slice));
        drain(process, result, cap);
    }
}

void configure(QProcess& process, const ProcessRequest& request)
{
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    if (!request.workingDirectory.isEmpty()) {
        process.setWorkingDirectory(request.workingDirectory);
    }
    if (!request.environment.isEmpty()) {
        process.setProcessEnvironment(request.environment);
    }
    if (request.mergeChannels) {
        process.setProcessChannelMode(QProcess::MergedChannels);
    }
    // Runs in the child between fork and exec, where only async-signal-safe calls are allowed; setpgid is one.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

} // namespace

bool ProcessResult::succeeded() const
{
    return started && !timedOut && !crashed && exitCode == 0;
}

QCoro::Task<ProcessResult> runProcess(ProcessRequest request)
{
    ProcessResult result;
    if (request.program.isEmpty()) {
        result.errorText = QStringLiteral("No program to run");
        co_return result;
    }
    const qsizetype cap = std::max<qsizetype>(0, request.maxOutputBytes);
    const auto timeout = std::max(request.timeout, std::chrono::milliseconds::zero());

    // Declaration order matters for teardown: the connections' context goes first so no handler runs against a
    // half-destroyed frame, then the process is reaped, then the wakeup it would have woken.
    process_runner::Wakeup wakeup;
    std::unique_ptr<QProcess, process_runner::ProcessReaper> process(new QProcess);
    QObject context;

    configure(*process, request);

    QProcess* child = process.get();
    // Drain both channels as data arrives so a child filling one pipe never stalls, and memory stays bounded.
    QObject::connect(child, &QProcess::readyReadStandardOutput, &context, [&result, child, cap] {
        appendCapped(result.standardOutput, child->readAllStandardOutput(), cap, result.outputTruncated);
    });
    QObject::connect(child, &QProcess::readyReadStandardError, &context, [&result, child, cap] {
        appendCapped(result.standardError, child->readAllStandardError(), cap, result.outputTruncated);
    });
    QObject::connect(child, &QProcess::started, &context, [&result, &wakeup, child, input = request.standardInput] {
        result.started = true;
        if (!input.isEmpty()) {
            child->write(input);
        }
        // Closing stdin even when there is nothing to send lets a child that reads it see the end at once.
        child->closeWriteChannel();
        wakeup.wake();
    });
    QObject::connect(child, &QProcess::finished, &context, [&wakeup] { wakeup.wake(); });
    QObject::connect(child, &QProcess::errorOccurred, &context, [&wakeup](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            wakeup.wake();
        }
    });

    child->start(QIODevice::ReadWrite);

    const QDeadlineTimer deadline(timeout);
    while (child->state() != QProcess::NotRunning && !deadline.hasExpired()) {
        co_await wakeup.until(deadline);
    }

    if (child->state() != QProcess::NotRunning) {
        result.timedOut = true;
        result.errorText = QStringLiteral("%1 did not finish within %2 ms and was stopped")
                               .arg(request.program)
                               .arg(timeout.count());
        const qint64 pid = child->processId();
        if (!signalGroup(pid, SIGTERM)) {
            child->terminate();
        }
        const QDeadlineTimer graceDeadline(terminateGrace);
        while (child->state() != QProcess::NotRunning && !graceDeadline.hasExpired()) {
            co_await wakeup.until(graceDeadline);
        }
        if (child->state() != QProcess::NotRunning) {
            if (!signalGroup(pid, SIGKILL)) {
                child->kill();
            }
            const QDeadlineTimer killDeadline(killGrace);
            while (child->state() != QProcess::NotRunning && !killDeadline.hasExpired()) {
                co_await wakeup.until(killDeadline);
            }
        }
        // Whatever of the group outlived the child (it ignored SIGTERM, or was slower to go) goes now.
        signalGroup(pid, SIGKILL);
        // A child that outlives even SIGKILL's grace is left to the reaper; we report what we have.
    }

    // Whatever arrived after the last readyRead belongs to the result too.
    drain(*child, result, cap);

    if (!result.started) {
        if (!result.timedOut) {
            result.systemError = child->errorString();
            result.errorText = QStringLiteral("%1 could not be started: %2").arg(request.program, result.systemError);
        }
        co_return result;
    }
    if (result.timedOut) {
        co_return result;
    }
    if (child->exitStatus() == QProcess::CrashExit) {
        result.crashed = true;
        result.systemError = child->errorString();
        result.errorText = QStringLiteral("%1 crashed: %2").arg(request.program, result.systemError);
    } else {
        result.exitCode = child->exitCode();
    }
    co_return result;
}

CommandRunner defaultCommandRunner()
{
    return [](ProcessRequest request) { return runProcess(std::move(request)); };
}

ProcessResult runProcessBlocking(const ProcessRequest& request)
{
    ProcessResult result;
    if (request.program.isEmpty()) {
        result.errorText = QStringLiteral("No program to run");
        return result;
    }
    const qsizetype cap = std::max<qsizetype>(0, request.maxOutputBytes);
    const QDeadlineTimer deadline(std::max(request.timeout, std::chrono::milliseconds::zero()));

    QProcess process;
    configure(process, request);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
        if (process.state() == QProcess::NotRunning) {
            result.systemError = process.errorString();
            result.errorText = QStringLiteral("%1 could not be started: %2").arg(request.program, result.systemError);
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
        const qint64 pid = process.processId();
        if (!signalGroup(pid, SIGTERM)) {
            process.terminate();
        }
        waitAndDrain(process, result, cap, QDeadlineTimer(blockingTerminateGraceMs));
        if (process.state() != QProcess::NotRunning) {
            if (!signalGroup(pid, SIGKILL)) {
                process.kill();
            }
            waitAndDrain(process, result, cap, QDeadlineTimer(blockingKillGraceMs));
        }
        signalGroup(pid, SIGKILL);
        return result;
    }
    drain(process, result, cap);
    if (process.exitStatus() == QProcess::CrashExit) {
        result.crashed = true;
        result.systemError = process.errorString();
        result.errorText = QStringLiteral("%1 crashed: %2").arg(request.program, result.systemError);
    } else {
        result.exitCode = process.exitCode();
    }
    return result;
}

} // namespace murmeli::common
