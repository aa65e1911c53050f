#include "main/device/link/DeviceLineWriter.h"

#include <utility>

#include <QThread>

#include "main/device/lines/HostLines.h"
#include "main/device/link/BLEBridge.h"

namespace murmeli::device {

namespace {

const QLatin1String statusReplyTag("SR:");

} // namespace

DeviceLineWriter::DeviceLineWriter(BLEBridge& link, common::Clock& clock)
    : m_link(link), m_clock(clock), m_events(clock)
{
    timeZone = [] { return QTimeZone::systemTimeZone(); };
    m_events.send = [this](const QString& line) { m_link.send(line); };
}

DeviceLineWriter::~DeviceLineWriter()
{
    m_context.reset();
    deviceGone();
}

void DeviceLineWriter::deviceConnected()
{
    sendTimeSync();
    startTimeSyncTimer();
}

void DeviceLineWriter::deviceGone()
{
    if (const auto timer = std::exchange(m_timeSyncTimer, std::nullopt)) {
        m_clock.cancel(*timer);
    }
    endQuery(std::nullopt, DeviceStatusError::Disconnected);
}

bool DeviceLineWriter::takeReply(const QString& line)
{
    if (!line.startsWith(statusReplyTag)) {
        return false;
    }
    const std::optional<DeviceStatus> status = DeviceStatus::decodeSrLine(line);
    endQuery(std::nullopt, status ? StatusOutcome(*status) : StatusOutcome(DeviceStatusError::MalformedResponse));
    return true;
}

void DeviceLineWriter::startTimeSyncTimer()
{
    if (m_timeSyncTimer) {
        m_clock.cancel(*m_timeSyncTimer);
    }
    m_timeSyncTimer = m_clock.schedule(m_timeSyncIntervalMs, [this] {
        m_timeSyncTimer.reset();
        sendTimeSync();
        startTimeSyncTimer();
    });
}

void DeviceLineWriter::sendTimeSync()
{
    m_link.send(HostLines::timeSync(m_clock.now(), timeZone ? timeZone() : QTimeZone::systemTimeZone()));
}

QCoro::Task<DeviceLineWriter::StatusOutcome> DeviceLineWriter::queryDeviceStatus()
{
    if (!m_link.isConnected() || m_query) {
        co_return DeviceStatusError::NotConnected;
    }
    const quint64 token = ++m_nextQueryToken;
    PendingQuery query;
    query.token = token;
    // The time-out names its own query, so a late one never ends a newer query.
    query.timeout = m_clock.schedule(m_statusTimeoutMs, [this, token] { endQuery(token, DeviceStatusError::Timeout); });
    const common::OneShot<StatusOutcome> answer = query.answer;
    m_query = std::move(query);
    m_link.send(HostLines::statusQuery());
    co_return co_await answer;
}

void DeviceLineWriter::endQuery(std::optional<quint64> token, StatusOutcome outcome)
{
    if (!m_query || (token && m_query->token != *token)) {
        return;
    }
    PendingQuery query = std::move(*m_query);
    m_query.reset();
    m_clock.cancel(query.timeout);
    query.answer.fulfil(std::move(outcome));
}

void DeviceLineWriter::sendEvent(const QString& type, const QString& data, const std::optional<QString>& summary)
{
    if (m_context && QThread::currentThread() != m_context->thread()) {
        QMetaObject::invokeMethod(
            m_context.get(), [this, type, data, summary] { sendEvent(type, data, summary); }, Qt::QueuedConnection);
        return;
    }
    const QString line = HostLines::event(type, data, summary);
    if (summary) {
        m_events.submit(line);
    } else {
        m_link.send(line);
    }
}

void DeviceLineWriter::sendEventImmediate(
    const QString& type, const QString& data, const std::optional<QString>& summary)
{
    m_link.send(HostLines::event(type, data, summary));
}

void DeviceLineWriter::sendStatusFull(const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript,
    int runningAgents, int waitingAgents, qint64 tokens, qint64 tokensToday)
{
    const StatusLines::Counts counts { runningAgents, waitingAgents, tokens, tokensToday };
    for (const QString& line : m_statusLines.compose(status, transcript, counts, m_clock.now().toSecsSinceEpoch())) {
        m_link.send(line);
    }
}

} // namespace murmeli::device
