#include "main/usage/CodexBarUsageReader.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include <QJsonArray>
#include <QJsonDocument>
#include <QThreadPool>

#include "main/usage/CodexBarCommand.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::usage {

using common::LogColor;

namespace {

// The timer never runs faster than once a second, and never so slowly that the period overflows.
qint64 periodMs(double minutes)
{
    constexpr double maxSeconds = 366.0 * 24 * 3600;
    const double seconds = minutes * 60.0;
    if (!(seconds >= 1.0)) {
        return 1000;
    }
    return std::llround(std::min(seconds, maxSeconds) * 1000.0);
}

QStringList firstRows(QStringList rows)
{
    if (rows.size() > CodexBarUsageReader::maxCommandRows) {
        rows.resize(CodexBarUsageReader::maxCommandRows);
    }
    return rows;
}

// The countdown and the delivery of one test run; lives on the caller's thread and deletes itself once done.
class TestRun final : public QObject {
public:
    TestRun(std::shared_ptr<common::Clock> clock, double timeoutSec, std::function<void(int)> onProgress,
        std::function<void(bool, const QString&)> completion)
        : m_clock(std::move(clock)), m_onProgress(std::move(onProgress)), m_completion(std::move(completion))
    {
        const double seconds = std::isfinite(timeoutSec) ? std::clamp(timeoutSec, 0.0, 86400.0) : 0.0;
        m_deadlineMs = m_clock->continuousMs() + std::llround(seconds * 1000.0);
        scheduleTick();
    }

    void finish(const CodexBarRowResult& result)
    {
        m_clock->cancel(m_timerId);
        if (m_completion) {
            m_completion(result.ok(), result.message());
        }
        deleteLater();
    }

private:
    void scheduleTick()
    {
        m_timerId = m_clock->schedule(1000, [this] {
            const qint64 leftMs = std::max<qint64>(0, m_deadlineMs - m_clock->continuousMs());
            const int secondsLeft = static_cast<int>((leftMs + 999) / 1000);
            if (m_onProgress) {
                m_onProgress(secondsLeft);
            }
            if (secondsLeft > 0) {
                scheduleTick();
            }
        });
    }

    std::shared_ptr<common::Clock> m_clock;
    std::function<void(int)> m_onProgress;
    std::function<void(bool, const QString&)> m_completion;
    qint64 m_deadlineMs = 0;
    common::Clock::TimerId m_timerId = 0;
};

} // namespace

CodexBarUsageReader::CodexBarUsageReader(double intervalMinutes) : CodexBarUsageReader(intervalMinutes, {}) { }

CodexBarUsageReader::CodexBarUsageReader(double intervalMinutes, Dependencies dependencies)
    : m_clock(dependencies.clock ? std::move(dependencies.clock) : std::make_shared<common::SystemClock>()),
      m_searchDirectories(std::move(dependencies.searchDirectories)), m_rowTimeoutSec(dependencies.rowTimeoutSec),
      m_intervalMinutes(intervalMinutes),
      m_thread(QStringLiteral("io.murmeli.codexbar.reader"), std::make_unique<QObject>())
{
}

CodexBarUsageReader::~CodexBarUsageReader()
{
    m_clock->cancel(m_timerId);
    m_liveGeneration = ++m_generation;
    // Waits for the row that is running, if any: the ones after it are not started.
    m_thread.stop();
}

void CodexBarUsageReader::setCommands(const QStringList& commands)
{
    m_commands = commands.isEmpty() ? QStringList { QString::fromLatin1(defaultCLICommand) } : firstRows(commands);
}

void CodexBarUsageReader::start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    m_liveGeneration = ++m_generation;
    scheduleTimer();
    pollNow();
}

void CodexBarUsageReader::stop()
{
    m_started = false;
    m_liveGeneration = ++m_generation;
    m_clock->cancel(std::exchange(m_timerId, 0));
}

void CodexBarUsageReader::restart(double intervalMinutes)
{
    m_intervalMinutes = intervalMinutes;
    if (!m_started) {
        return;
    }
    m_clock->cancel(std::exchange(m_timerId, 0));
    m_liveGeneration = ++m_generation;
    scheduleTimer();
    pollNow();
}

void CodexBarUsageReader::scheduleTimer()
{
    m_timerId = m_clock->schedule(periodMs(m_intervalMinutes), [this] {
        m_timerId = 0;
        scheduleTimer();
        tick();
    });
}

void CodexBarUsageReader::tick()
{
    if (m_pollInFlight == m_generation) {
        onLog(QStringLiteral("[codexbar] poll skipped: the previous one is still running"), LogColor::Orange);
        return;
    }
    pollNow();
}

QStringList CodexBarUsageReader::searchDirectories() const
{
    return m_searchDirectories.isEmpty() ? CodexBarCommand::defaultSearchDirectories() : m_searchDirectories;
}

void CodexBarUsageReader::pollNow()
{
    const quint64 generation = m_generation;
    m_pollInFlight = generation;
    onLog(QStringLiteral("[codexbar] poll: %1 row(s)").arg(m_commands.size()), LogColor::Grey);
    m_thread.post([this, generation, rows = m_commands, directories = searchDirectories(),
                      timeoutSec = m_rowTimeoutSec](QObject&) {
        std::vector<CodexBarRowResult> results;
        for (const QString& row : rows) {
            if (m_liveGeneration != generation) {
                break;
            }
            results.push_back(CodexBarRowResult::run(row, timeoutSec, directories));
        }
        m_thread.postToOwner([this, generation, results = std::move(results)] { finishPoll(generation, results); });
    });
}

void CodexBarUsageReader::finishPoll(quint64 generation, const std::vector<CodexBarRowResult>& results)
{
    if (generation != m_generation) {
        onLog(QStringLiteral("[codexbar] poll result dropped: the reader was stopped or restarted meanwhile"),
            LogColor::Grey);
        return;
    }
    m_pollInFlight = 0;

    std::vector<CodexBarProviderUsage> providers;
    std::set<QString> seen;
    bool notInstalled = false;
    std::optional<qint32> firstExitCode;
    for (size_t i = 0; i < results.size(); ++i) {
        const CodexBarRowResult& result = results[i];
        const QString row = QStringLiteral("[codexbar] row %1: ").arg(i + 1);
        if (result.outcome == CodexBarRowResult::Outcome::InvalidCommand) {
            onLog(row + QStringLiteral("skipped, must start with `codexbar`"), LogColor::Orange);
            continue;
        }
        if (!result.ok()) {
            onLog(row + result.message(), LogColor::Red);
            notInstalled = notInstalled || result.outcome == CodexBarRowResult::Outcome::NotInstalled;
            if (!firstExitCode) {
                firstExitCode = result.statusExitCode();
            }
            continue;
        }
        for (const CodexBarProviderUsage& provider : result.providers) {
            // One row per provider: a later row naming the same provider again adds nothing.
            if (seen.insert(provider.providerID).second) {
                providers.push_back(provider);
            }
        }
    }

    if (!providers.empty()) {
        onLog(QStringLiteral("[codexbar] %1 provider(s) ready").arg(providers.size()), LogColor::Grey);
        if (onSnapshots) {
            onSnapshots(providers);
        }
        if (onSnapshot) {
            onSnapshot(CodexBarUsageSnapshot::from(providers.front(), m_clock->now()));
        }
        setStatus(CodexBarReaderStatus::active());
    } else if (notInstalled) {
        setStatus(CodexBarReaderStatus::notInstalled());
    } else {
        setStatus(CodexBarReaderStatus::error(firstExitCode.value_or(-3)));
    }
}

void CodexBarUsageReader::setStatus(const CodexBarReaderStatus& status)
{
    if (status == m_status) {
        return;
    }
    m_status = status;
    onLog(QStringLiteral("[codexbar] status: ") + toString(status),
        status.kind() == CodexBarReaderStatus::Case::Active ? LogColor::Green : LogColor::Orange);
    if (onStatusChange) {
        onStatusChange(status);
    }
}

QStringList CodexBarUsageReader::commandsFromUDOrDefault(const platform::Defaults& defaults)
{
    QStringList rows;
    if (const auto stored = defaults.stringValue(QLatin1String(cliCommandsUDKey))) {
        for (const QJsonValue& value : QJsonDocument::fromJson(stored->toUtf8()).array()) {
            if (value.isString() && CodexBarCommand::passesGate(value.toString())) {
                rows << value.toString();
            }
        }
    }
    if (!rows.isEmpty()) {
        return firstRows(rows);
    }
    const auto legacy = defaults.stringValue(QLatin1String(legacyCLICommandUDKey));
    if (legacy && CodexBarCommand::passesGate(*legacy)) {
        return { *legacy };
    }
    return { QString::fromLatin1(defaultCLICommand) };
}

void CodexBarUsageReader::writeCommandsToUD(platform::Defaults& defaults, const QStringList& rows)
{
    const QByteArray text = QJsonDocument(QJsonArray::fromStringList(rows)).toJson(QJsonDocument::Compact);
    defaults.setValue(QLatin1String(cliCommandsUDKey), QString::fromUtf8(text));
}

int CodexBarUsageReader::pollMinutesFromUDOrDefault(const platform::Defaults& defaults)
{
    const qint64 minutes = defaults.intValue(QLatin1String(pollMinutesUDKey)).value_or(defaultPollMinutes);
    return minutes == 5 || minutes == 15 || minutes == 30 ? static_cast<int>(minutes) : defaultPollMinutes;
}

void CodexBarUsageReader::testRun(const QString& command, double timeoutSec, std::function<void(int)> onProgress,
    std::function<void(bool, const QString&)> completion)
{
    testRun(command, timeoutSec, std::move(onProgress), std::move(completion), {});
}

void CodexBarUsageReader::testRun(const QString& command, double timeoutSec, std::function<void(int)> onProgress,
    std::function<void(bool, const QString&)> completion, TestRunOptions options)
{
    auto clock = options.clock ? std::move(options.clock) : std::make_shared<common::SystemClock>();
    auto* run = new TestRun(std::move(clock), timeoutSec, std::move(onProgress), std::move(completion));
    QStringList directories = options.searchDirectories.isEmpty() ? CodexBarCommand::defaultSearchDirectories()
                                                                  : std::move(options.searchDirectories);
    // The run object stays until finish() has run on its thread, so the job may always post to it.
    QThreadPool::globalInstance()->start([run, command, timeoutSec, directories = std::move(directories)] {
        CodexBarRowResult result = CodexBarRowResult::run(command, timeoutSec, directories);
        QMetaObject::invokeMethod(
            run, [run, result = std::move(result)] { run->finish(result); }, Qt::QueuedConnection);
    });
}

} // namespace murmeli::usage
