#include "main/app/shell/HealthTicker.h"

namespace murmeli::app {

HealthTicker::HealthTicker(common::Clock& clock, ServerHealth serverHealth, ProcessStatsReader processStats)
    : m_clock(clock), m_serverHealth(std::move(serverHealth)), m_processStats(std::move(processStats))
{
}

HealthTicker::~HealthTicker()
{
    stop();
}

void HealthTicker::start()
{
    if (!m_timer) {
        schedule();
    }
}

void HealthTicker::stop()
{
    if (m_timer) {
        m_clock.cancel(*m_timer);
        m_timer.reset();
    }
}

void HealthTicker::schedule()
{
    m_timer = m_clock.schedule(intervalMs, [this] {
        schedule();
        tick();
    });
}

void HealthTicker::tick()
{
    if (onLog) {
        onLog(line(m_processStats(), m_serverHealth()), common::LogColor::Grey);
    }
}

QString HealthTicker::line(const std::optional<platform::ProcessStats>& stats, const HookServerHealth& server)
{
    const QString process = stats ? QStringLiteral("rss=%1MB threads=%2")
                                        .arg(double(stats->residentBytes) / (1024.0 * 1024.0), 0, 'f', 1)
                                        .arg(stats->threadCount)
                                  : QStringLiteral("rss=? threads=?");
    const QString lastEvent = server.lastEventAgeSec < 0 ? QStringLiteral("never")
                                                         : QString::number(server.lastEventAgeSec) + QLatin1Char('s');
    return QStringLiteral("[health] %1 hook=%2 conns=%3 events=%4 lastEvent=%5 parseFail=%6 bearerReject=%7")
        .arg(process, server.listenerState)
        .arg(server.activeConnections)
        .arg(server.totalEvents)
        .arg(lastEvent)
        .arg(server.parseFailures)
        .arg(server.bearerRejects);
}

} // namespace murmeli::app
