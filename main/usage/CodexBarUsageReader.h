#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/common/WorkerThread.h"
#include "main/usage/CodexBarProviderUsage.h"
#include "main/usage/CodexBarReaderStatus.h"
#include "main/usage/CodexBarRowResult.h"
#include "main/usage/CodexBarUsageSnapshot.h"

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::usage {

/// Runs the outside usage tool's command rows on a timer and reports per-provider usage. The face lives on its
/// owner's thread, which receives every callback; the rows run one after another on the thread
/// "io.murmeli.codexbar.reader".
class CodexBarUsageReader final {
public:
    static constexpr auto defaultCLICommand = "codexbar usage --format json --provider claude --source oauth";
    static constexpr int maxCommandRows = 5;
    static constexpr double perRowTimeoutSec = 15.0;
    static constexpr auto cliCommandsUDKey = "lab.codexbar.cli_commands";
    /// The single row that earlier versions stored.
    static constexpr auto legacyCLICommandUDKey = "lab.codexbar.cli_command";
    /// Whether the reader runs; read by the controller at start-up.
    static constexpr auto enabledUDKey = "lab.codexbar.enabled";
    /// The poll interval in whole minutes: 5, 15 or 30.
    static constexpr auto pollMinutesUDKey = "lab.codexbar.poll_minutes";
    static constexpr int defaultPollMinutes = 15;

    struct Dependencies {
        /// Drives the poll timer and the test run's countdown; the system clock when empty.
        std::shared_ptr<common::Clock> clock;
        /// Where the tool is looked for; $PATH and the usual install places when empty.
        QStringList searchDirectories;
        double rowTimeoutSec = perRowTimeoutSec;
    };

    explicit CodexBarUsageReader(double intervalMinutes = defaultPollMinutes);
    CodexBarUsageReader(double intervalMinutes, Dependencies dependencies);
    ~CodexBarUsageReader();
    CodexBarUsageReader(const CodexBarUsageReader&) = delete;
    CodexBarUsageReader& operator=(const CodexBarUsageReader&) = delete;

    /// The provider rows of a poll that gave data, in row order, one per provider.
    std::function<void(const std::vector<CodexBarProviderUsage>& providers)> onSnapshots;
    /// The first of those rows as the single snapshot.
    std::function<void(const CodexBarUsageSnapshot& snapshot)> onSnapshot;
    /// The status after a poll, when it differs from the one before.
    std::function<void(const CodexBarReaderStatus& status)> onStatusChange;
    common::LogSink onLog;

    QStringList commands() const { return m_commands; }
    /// An empty list becomes [defaultCLICommand]; only the first maxCommandRows are kept. A running reader uses
    /// the new rows from its next poll on.
    void setCommands(const QStringList& commands);

    double intervalMinutes() const { return m_intervalMinutes; }
    /// Takes effect when the timer is next scheduled, by start() or restart().
    void setIntervalMinutes(double minutes) { m_intervalMinutes = minutes; }

    /// Schedules the poll timer and polls at once; does nothing when already started.
    void start();
    /// Cancels the timer; a poll still running is abandoned and its result dropped. Status and rows stay.
    void stop();
    /// Stores the interval; when started, reschedules the timer with it and polls at once.
    void restart(double intervalMinutes);
    bool isStarted() const { return m_started; }

    /// Idle until the first poll ends, then what the last one came to.
    CodexBarReaderStatus status() const { return m_status; }

    /// The stored rows that pass the command gate, at most maxCommandRows; else the legacy row when it passes;
    /// else [defaultCLICommand].
    static QStringList commandsFromUDOrDefault(const platform::Defaults& defaults);
    /// Stores every row, ungated and unlimited, as the text of a JSON array.
    static void writeCommandsToUD(platform::Defaults& defaults, const QStringList& rows);
    /// The stored poll interval when it is 5, 15 or 30 minutes; else defaultPollMinutes.
    static int pollMinutesFromUDOrDefault(const platform::Defaults& defaults);

    struct TestRunOptions {
        std::shared_ptr<common::Clock> clock;
        QStringList searchDirectories;
    };
    /// Runs one row once off the calling thread. Once a second onProgress gets the whole seconds left until the
    /// time-out (rounded up, never below 0) until none are left or the run ends; then completion(ok, message) is
    /// called once. Both arrive on the calling thread, which must run an event loop.
    static void testRun(const QString& command, double timeoutSec, std::function<void(int secondsLeft)> onProgress,
        std::function<void(bool ok, const QString& message)> completion);
    static void testRun(const QString& command, double timeoutSec, std::function<void(int secondsLeft)> onProgress,
        std::function<void(bool ok, const QString& message)> completion, TestRunOptions options);

private:
    void scheduleTimer();
    void tick();
    void pollNow();
    void finishPoll(quint64 generation, const std::vector<CodexBarRowResult>& results);
    void setStatus(const CodexBarReaderStatus& status);
    QStringList searchDirectories() const;

    std::shared_ptr<common::Clock> m_clock;
    QStringList m_searchDirectories;
    double m_rowTimeoutSec = perRowTimeoutSec;
    QStringList m_commands { QString::fromLatin1(defaultCLICommand) };
    double m_intervalMinutes = defaultPollMinutes;
    bool m_started = false;
    CodexBarReaderStatus m_status;
    common::Clock::TimerId m_timerId = 0;
    // Bumped by every start, stop and restart: a poll carries the value it started under, and one whose value is
    // no longer current stops running rows and has its result dropped.
    quint64 m_generation = 0;
    std::atomic<quint64> m_liveGeneration = 0;
    // The generation of the poll that is running, 0 when none; a tick does not queue a second one behind it.
    quint64 m_pollInFlight = 0;
    // Last, so the thread has ended before anything its work reads goes.
    common::WorkerThread<QObject> m_thread;
};

} // namespace murmeli::usage
