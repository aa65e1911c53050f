#include "main/common/ProcessRunner.h"

#include <chrono>
#include <optional>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QCoroTask>
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/support/Files.h"
#include "tests/support/Processes.h"
#include "tests/support/Wait.h"

namespace murmeli::common {
namespace {

using namespace std::chrono_literals;

// The child may be a shell here; the runner itself never uses one.
ProcessRequest shell(const QString& script)
{
    ProcessRequest request;
    request.program = QStringLiteral("/bin/sh");
    request.arguments = { QStringLiteral("-c"), script };
    return request;
}

ProcessResult run(ProcessRequest request)
{
    return QCoro::waitFor(runProcess(std::move(request)));
}

TEST(ProcessRunnerExit, ReportsExitCodeAndBothChannels)
{
    const ProcessResult result = run(shell(QStringLiteral("printf out; printf err >&2; exit 3")));
    EXPECT_TRUE(result.started && !result.timedOut && !result.crashed && !result.outputTruncated);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.standardOutput, QByteArray("out"));
    EXPECT_EQ(result.standardError, QByteArray("err"));
    EXPECT_FALSE(result.succeeded());
}

TEST(ProcessRunnerExit, ChildKilledBySignalIsACrash)
{
    const ProcessResult result = run(shell(QStringLiteral("kill -SEGV $$")));
    EXPECT_TRUE(result.started && result.crashed && !result.timedOut);
    EXPECT_FALSE(result.succeeded());
}

TEST(ProcessRunnerArguments, PassedVerbatimWithoutAShell)
{
    ProcessRequest request;
    request.program = QStringLiteral("/bin/echo");
    request.arguments = { QStringLiteral("$HOME"), QStringLiteral("a;b"), QStringLiteral("*") };
    const ProcessResult result = run(request);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, QByteArray("$HOME a;b *\n"));
}

TEST(ProcessRunnerArguments, WorkingDirectoryAndEnvironmentApply)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ProcessRequest request = shell(QStringLiteral("pwd -P; printf '%s' \"$MURMELI_PROBE\""));
    request.workingDirectory = dir.path();
    request.environment.insert(QStringLiteral("MURMELI_PROBE"), QStringLiteral("probe-value"));
    request.environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    const ProcessResult result = run(request);
    ASSERT_TRUE(result.succeeded()) << result.errorText.toStdString();
    const QList<QByteArray> lines = result.standardOutput.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(QString::fromUtf8(lines[0]), QFileInfo(dir.path()).canonicalFilePath());
    EXPECT_EQ(lines[1], QByteArray("probe-value"));
}

TEST(ProcessRunnerChannels, LargeOutputOnBothChannelsDoesNotStall)
{
    // 1 MiB on stderr first: a runner that only read stdout would leave the child blocked on a full pipe.
    ProcessRequest request = shell(QStringLiteral("head -c 1048576 /dev/zero >&2; head -c 1048576 /dev/zero"));
    request.timeout = 20s;
    const ProcessResult result = run(request);
    EXPECT_TRUE(result.succeeded()) << result.errorText.toStdString();
    EXPECT_EQ(result.standardError.size(), 1048576);
    EXPECT_EQ(result.standardOutput.size(), 1048576);
}

TEST(ProcessRunnerChannels, MergedChannelsKeepTheOrderWrittenInBothRunners)
{
    ProcessRequest request = shell(QStringLiteral("echo one; echo two >&2; sleep 0.05; echo three >&2; echo four"));
    request.mergeChannels = true;
    for (const ProcessResult& result : { run(request), runProcessBlocking(request) }) {
        EXPECT_TRUE(result.succeeded()) << result.errorText.toStdString();
        EXPECT_EQ(result.standardOutput, QByteArray("one\ntwo\nthree\nfour\n"));
        EXPECT_TRUE(result.standardError.isEmpty());
    }
}

TEST(ProcessRunnerChannels, OutputBeyondTheCapIsDiscarded)
{
    ProcessRequest request = shell(QStringLiteral("head -c 5000 /dev/zero | tr '\\0' x; printf short >&2"));
    request.maxOutputBytes = 1000;
    const ProcessResult result = run(request);
    EXPECT_TRUE(result.succeeded()) << result.errorText.toStdString();
    EXPECT_EQ(result.standardOutput, QByteArray(1000, 'x'));
    EXPECT_EQ(result.standardError, QByteArray("short"));
    EXPECT_TRUE(result.outputTruncated);
}

TEST(ProcessRunnerInput, StandardInputIsWrittenThenClosed)
{
    ProcessRequest request;
    request.program = QStringLiteral("/bin/cat");
    request.standardInput = QByteArray("line one\nline two\n");
    EXPECT_EQ(run(request).standardOutput, request.standardInput);

    // With nothing to send, cat must still see the end of its input rather than run into the time limit.
    request.standardInput.clear();
    request.timeout = 20s;
    const ProcessResult result = run(request);
    EXPECT_TRUE(result.succeeded());
    EXPECT_FALSE(result.timedOut);
}

TEST(ProcessRunnerFailure, TimeoutStopsTheChild)
{
    ProcessRequest request = shell(QStringLiteral("printf before; sleep 30"));
    request.timeout = 200ms;
    QElapsedTimer elapsed;
    elapsed.start();
    const ProcessResult result = run(request);
    EXPECT_TRUE(result.started && result.timedOut);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.standardOutput, QByteArray("before"));
    // Far short of the child's 30 s: it was stopped, not waited for.
    EXPECT_LT(elapsed.elapsed(), 10000);
}

TEST(ProcessRunnerFailure, ChildIgnoringTerminateIsKilled)
{
    ProcessRequest request = shell(QStringLiteral("trap '' TERM; while :; do sleep 1; done"));
    request.timeout = 100ms;
    QElapsedTimer elapsed;
    elapsed.start();
    const ProcessResult result = run(request);
    EXPECT_TRUE(result.timedOut);
    EXPECT_LT(elapsed.elapsed(), 10000);
}

TEST(ProcessRunnerFailure, MissingProgramDoesNotStart)
{
    ProcessRequest request;
    request.program = QStringLiteral("/nonexistent/murmeli-no-such-program");
    request.timeout = 20s;
    QElapsedTimer elapsed;
    elapsed.start();
    const ProcessResult result = run(request);
    EXPECT_FALSE(result.started || result.timedOut);
    EXPECT_FALSE(result.errorText.isEmpty());
    // A start failure is reported as such, not by running out the clock.
    EXPECT_LT(elapsed.elapsed(), 10000);

    const ProcessResult empty = run(ProcessRequest {});
    EXPECT_FALSE(empty.started);
    EXPECT_FALSE(empty.errorText.isEmpty());
}

TEST(ProcessRunnerLifetime, DoesNotBlockTheCallersEventLoop)
{
    ProcessRequest request = shell(QStringLiteral("read line; printf '%s' \"$line\""));
    request.standardInput = QByteArray("hello\n");
    std::optional<ProcessResult> result;
    auto task = runProcess(request).then([&result](ProcessResult r) { result = std::move(r); });
    // The call returned while the child is still running; the result arrives through this thread's event loop.
    EXPECT_FALSE(result.has_value());
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(result->succeeded());
    EXPECT_EQ(result->standardOutput, QByteArray("hello"));
}

TEST(ProcessRunnerLifetime, AbandonedRunStillStopsItsChild)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    ProcessRequest request = shell(QStringLiteral("echo $$ > '%1'; exec sleep 30").arg(pidFile));
    request.timeout = 300ms;
    {
        // The owner gives up on the run at once; the child must not outlive its time limit regardless.
        auto abandoned = runProcess(request);
    }
    pid_t pid = 0;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            QFile file(pidFile);
            if (file.open(QIODevice::ReadOnly)) {
                pid = file.readAll().trimmed().toInt();
            }
            return pid > 0;
        },
        10000));
    EXPECT_TRUE(test::waitUntil([&] { return ::kill(pid, 0) != 0; }, 10000));
}

// At the time limit the child's children are stopped with it; left alone they would run on for the rest of the 30 s.
TEST(ProcessRunnerFailure, TimeoutStopsWhatTheChildStarted)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    ProcessRequest request = shell(QStringLiteral("sleep 30 & echo $! > '%1'; wait").arg(pidFile));
    request.timeout = 300ms;
    EXPECT_TRUE(run(request).timedOut);

    const pid_t spawned = test::readFile(pidFile).trimmed().toInt();
    ASSERT_GT(spawned, 0);
    EXPECT_TRUE(test::waitUntil([&] { return test::processGone(spawned); }, 10000));
}

} // namespace
} // namespace murmeli::common
