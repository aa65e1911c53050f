#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>

#include "main/common/Clock.h"
#include "main/device/pushers/PushDriver.h"

namespace murmeli::device {

class BLEBridge;

/// Keeps the device's session list current with one "SL:" line of up to six sessions, those waiting for an
/// approval first. The line goes out only when it changed since the device last heard it. Main thread only.
class SListBridge final {
public:
    static constexpr qint64 refreshIntervalMs = 30000;
    static constexpr qint64 connectedPushDelayMs = 1200;
    static constexpr int defaultMaxRows = 6;

    /// One session as the list shows it; state is one of "approval", "working", "idle", "silent".
    struct WireRow final {
        QString id;
        QString state;
        QString name;

        friend bool operator==(const WireRow&, const WireRow&) = default;
    };

    SListBridge(BLEBridge& ble, common::Clock& clock);

    /// The sessions in the panel's order; defaults to none.
    std::function<QList<WireRow>()> sessionsProvider;

    /// Follows the link, pushes every 30 s, and pushes once now.
    void start();
    /// Ends the periodic pushes; the link observer stays.
    void stop();
    /// Builds the line and hands it to the link when it changed.
    void pushNow();

    /// By state rank ("approval", "working", "idle", "silent", anything else), keeping the given order within one.
    static QList<WireRow> sortedForWire(const QList<WireRow>& rows);
    /// "SL:" + count, then ",id:state:name" for each of the first maxRows rows; id and name cleaned and cut.
    static QString buildWireLine(const QList<WireRow>& rows, int maxRows = defaultMaxRows);

private:
    BLEBridge& m_ble;
    PushDriver m_driver;
    std::optional<QString> m_lastSentLine;
};

} // namespace murmeli::device
