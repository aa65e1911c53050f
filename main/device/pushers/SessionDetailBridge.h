#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include "main/common/Clock.h"
#include "main/device/pushers/PushDriver.h"

namespace murmeli::device {

class BLEBridge;

/// Gives the device one "SD:" detail line per session, remembered by session id and sent again only when it
/// changed. Pushes are coalesced to at most one per 0.2 s; a 30 s heartbeat re-evaluates the lines, whose relative
/// times move on. Main thread only.
class SessionDetailBridge final {
public:
    static constexpr qint64 refreshIntervalMs = 200;
    static constexpr qint64 heartbeatIntervalMs = 30000;
    static constexpr qint64 connectedPushDelayMs = 1500;
    /// A delayed push waits at least this long.
    static constexpr qint64 minimumWaitMs = 10;

    /// One session's details as display texts ("200k", "12s"); state is "idle", "working", "attention" or "error".
    struct WireRow final {
        QString id;
        QString state;
        QString name;
        QString model;
        QString effort;
        QString ctxUsed;
        QString ctxTotal;
        QString lastActive;
        int pendingCount = 0;

        friend bool operator==(const WireRow&, const WireRow&) = default;
    };

    /// What a row is built from.
    struct RowSource final {
        QString sid;
        QString projectName;
        /// Already a state word.
        QString state;
        QDateTime updatedAt;
        qint64 ctxUsedTokens = 0;
        qint64 ctxTotalTokens = 0;
        QString modelName {};
        QString effort {};
        int pendingCount = 0;
    };

    SessionDetailBridge(BLEBridge& ble, common::Clock& clock);

    /// The sessions in the panel's order; defaults to none.
    std::function<QList<WireRow>()> rowsProvider;

    /// Follows the link, starts the heartbeat and pushes once.
    void start();
    /// Ends the heartbeat; the link observer stays.
    void stop();
    /// A push now, or one delayed push at the end of the 0.2 s window.
    void pushNow();

    /// "SD:" and the nine fields: empty ones filled in, texts cleaned and cut, pending clamped to 0...99.
    static QString buildWireLine(const WireRow& row);
    /// Cleaned of separators, then cut to max user-perceived characters.
    static QString sanitize(const QString& text, int max);
    /// "now" for a date ahead, else "Ns", "Nm", "Nh", "Nd" up to nine days, then "9d+".
    static QString relativeTime(const QDateTime& from, const QDateTime& now);
    /// The row of a session: the name falls back to the id, token counts show as "0" below 1.
    static WireRow wireRow(const RowSource& source, const QDateTime& now);

private:
    void perform();

    BLEBridge& m_ble;
    common::Clock& m_clock;
    PushDriver m_driver;
    QHash<QString, QString> m_lastSentLines;
    bool m_pendingPush = false;
    std::optional<qint64> m_lastPushAtMs;
};

} // namespace murmeli::device
