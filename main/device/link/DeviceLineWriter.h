#pragma once

#include <functional>
#include <optional>
#include <variant>

#include <QObject>
#include <QString>
#include <QTimeZone>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"
#include "main/device/lines/DeviceStatus.h"
#include "main/device/lines/EventLimiter.h"
#include "main/device/lines/StatusLines.h"

namespace murmeli::device {

class BLEBridge;

/// The host's lines to the device over its link: the time sync on every connection and every hour, the status
/// query and its "SR:" reply, events through their spacing limiter, and the selected session's status lines, each
/// sent only when it changed since the device last heard it. The link tells it when the device comes and goes and
/// hands it every incoming line first. Lives on the main thread with its link; events may be sent from any thread.
class DeviceLineWriter final {
public:
    using StatusOutcome = std::variant<DeviceStatus, DeviceStatusError>;

    static constexpr qint64 defaultTimeSyncIntervalMs = 3600 * 1000;
    static constexpr qint64 defaultStatusTimeoutMs = 5000;

    /// Writes through link, which must outlive the writer; the clock runs the time-sync and query timers.
    DeviceLineWriter(BLEBridge& link, common::Clock& clock);
    /// Ends a pending status query with Disconnected.
    ~DeviceLineWriter();
    DeviceLineWriter(const DeviceLineWriter&) = delete;
    DeviceLineWriter& operator=(const DeviceLineWriter&) = delete;

    /// The zone whose offset the time sync carries; the system's by default.
    std::function<QTimeZone()> timeZone;

    /// "TS:" with the clock's time and the zone's offset.
    void sendTimeSync();
    /// Sends "S?" and waits for the "SR:" reply, at most the status time-out.
    QCoro::Task<StatusOutcome> queryDeviceStatus();
    /// An "E:" line; one with a summary goes through the spacing limiter.
    void sendEvent(const QString& type, const QString& data, const std::optional<QString>& summary);
    /// An "E:" line now, past the limiter.
    void sendEventImmediate(const QString& type, const QString& data, const std::optional<QString>& summary);
    /// The current session's lines: "L:" and "D:" always, "M:", "S:" and "T:" when they changed.
    void sendStatusFull(const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript, int runningAgents,
        int waitingAgents, qint64 tokens, qint64 tokensToday);

    qint64 timeSyncIntervalMs() const { return m_timeSyncIntervalMs; }
    void setTimeSyncIntervalMs(qint64 ms) { m_timeSyncIntervalMs = ms; }
    qint64 statusTimeoutMs() const { return m_statusTimeoutMs; }
    void setStatusTimeoutMs(qint64 ms) { m_statusTimeoutMs = ms; }
    EventLimiter& eventLimiter() { return m_events; }

    // What the link tells its writer.

    /// The device is connected and can be written to: it hears the time now and every interval.
    void deviceConnected();
    /// The device is gone (or the link stopped): no more time syncs, and a waiting query ends with Disconnected.
    void deviceGone();
    /// What the device held of the status lines is gone with its connection.
    void forgetDeviceState() { m_statusLines.forget(); }
    /// An incoming line; true when it was the reply to the status query and is used up.
    bool takeReply(const QString& line);

private:
    struct PendingQuery {
        quint64 token = 0;
        common::OneShot<StatusOutcome> answer;
        common::Clock::TimerId timeout = 0;
    };

    void startTimeSyncTimer();
    void endQuery(std::optional<quint64> token, StatusOutcome outcome);

    BLEBridge& m_link;
    common::Clock& m_clock;
    std::optional<common::Clock::TimerId> m_timeSyncTimer;
    qint64 m_timeSyncIntervalMs = defaultTimeSyncIntervalMs;
    qint64 m_statusTimeoutMs = defaultStatusTimeoutMs;
    std::optional<PendingQuery> m_query;
    quint64 m_nextQueryToken = 0;
    EventLimiter m_events;
    StatusLines m_statusLines;
    // Carries events sent from other threads over to this one; they end with the writer.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

} // namespace murmeli::device
