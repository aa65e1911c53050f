#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "platform/system/ProcessStats.h"

namespace murmeli::app {

/// The hook server's counters as one tick reads them.
struct HookServerHealth {
    QString listenerState;
    qint64 activeConnections = 0;
    qint64 totalEvents = 0;
    /// -1 before the first accepted event.
    qint64 lastEventAgeSec = -1;
    qint64 parseFailures = 0;
    qint64 bearerRejects = 0;
};

/// Logs one line on the process's cost and the hook server's counters every 30 s, so a slow leak or a server that
/// stopped hearing from the agents shows in the activity log.
class HealthTicker final {
public:
    static constexpr qint64 intervalMs = 30'000;

    using ServerHealth = std::function<HookServerHealth()>;
    using ProcessStatsReader = std::function<std::optional<platform::ProcessStats>()>;

    HealthTicker(
        common::Clock& clock, ServerHealth serverHealth, ProcessStatsReader processStats = &platform::readProcessStats);
    ~HealthTicker();
    HealthTicker(const HealthTicker&) = delete;
    HealthTicker& operator=(const HealthTicker&) = delete;

    common::LogSink onLog;

    /// Starts ticking, the first line one interval from now; a second call changes nothing.
    void start();
    void stop();
    bool isRunning() const { return m_timer.has_value(); }

    /// The line one tick logs.
    static QString line(const std::optional<platform::ProcessStats>& stats, const HookServerHealth& server);

private:
    void schedule();
    void tick();

    common::Clock& m_clock;
    ServerHealth m_serverHealth;
    ProcessStatsReader m_processStats;
    std::optional<common::Clock::TimerId> m_timer;
};

} // namespace murmeli::app
