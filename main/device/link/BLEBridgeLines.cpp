#include "main/device/link/BLEBridge.h"

#include <utility>

#include "main/common/G711.h"
#include "main/device/lines/HostLines.h"

// The device's status, time, event and audio lines; the link itself is in BLEBridge.cpp.

namespace murmeli::device {

void BLEBridge::startTimeSyncTimer()
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

void BLEBridge::sendTimeSync()
{
    send(HostLines::timeSync(m_clock.now(), timeZone ? timeZone() : QTimeZone::systemTimeZone()));
}

QCoro::Task<BLEBridge::StatusOutcome> BLEBridge::queryDeviceStatus()
{
    if (!m_connected || m_query) {
        co_return DeviceStatusError::NotConnected;
    }
    const quint64 token = ++m_nextQueryToken;
    PendingQuery query;
    query.token = token;
    // The time-out names its own query, so a late one never ends a newer query.
    query.timeout = m_clock.schedule(m_statusTimeoutMs, [this, token] { endQuery(token, DeviceStatusError::Timeout); });
    const common::OneShot<StatusOutcome> answer = query.answer;
    m_query = std::move(query);
    send(HostLines::statusQuery());
    co_return co_await answer;
}

void BLEBridge::endQuery(std::optional<quint64> token, StatusOutcome outcome)
{
    if (!m_query || (token && m_query->token != *token)) {
        return;
    }
    PendingQuery query = std::move(*m_query);
    m_query.reset();
    m_clock.cancel(query.timeout);
    query.answer.fulfil(std::move(outcome));
}

void BLEBridge::sendEvent(const QString& type, const QString& data, const std::optional<QString>& summary)
{
    if (!onOwnerThread()) {
        QMetaObject::invokeMethod(
            m_context.get(), [this, type, data, summary] { sendEvent(type, data, summary); }, Qt::QueuedConnection);
        return;
    }
    const QString line = HostLines::event(type, data, summary);
    if (summary) {
        m_events.submit(line);
    } else {
        send(line);
    }
}

void BLEBridge::sendEventImmediate(const QString& type, const QString& data, const std::optional<QString>& summary)
{
    send(HostLines::event(type, data, summary));
}

void BLEBridge::sendStatusFull(const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript,
    int runningAgents, int waitingAgents, qint64 tokens, qint64 tokensToday)
{
    const StatusLines::Counts counts { runningAgents, waitingAgents, tokens, tokensToday };
    for (const QString& line : m_statusLines.compose(status, transcript, counts, m_clock.now().toSecsSinceEpoch())) {
        send(line);
    }
}

void BLEBridge::startAudioCapture()
{
    m_audioBuffer.clear();
    m_receivingAudio = true;
}

QByteArray BLEBridge::stopAudioCapture()
{
    m_receivingAudio = false;
    return common::g711::decodeMulaw(std::exchange(m_audioBuffer, {}));
}

} // namespace murmeli::device
