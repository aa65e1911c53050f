#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "main/common/Clock.h"
#include "main/device/pushers/PushDriver.h"

namespace murmeli::device {

class BLEBridge;

/// Feeds the device's overview screens: the account line "AU:", one "PL:" line per plan card and the device
/// frame "DV:". Account and plan lines go out only when they changed since the device last heard them; the frame
/// goes out on every push. Main thread only.
class OverviewBridge final {
public:
    static constexpr qint64 refreshIntervalMs = 30000;
    static constexpr qint64 connectedPushDelayMs = 1000;

    /// The signed-in account; all absent when signed out.
    struct Account final {
        std::optional<QString> email;
        std::optional<QString> plan;
        std::optional<QString> renew;
    };

    /// One plan-usage card.
    struct PlanCard final {
        QString name;
        int pct5h = 0;
        QString reset5h {};
        int pct7d = 0;
        QString reset7d {};
        QString extraBalance {};
        QString extraSpent {};

        /// "PL:" and the seven fields, texts cleaned and cut, percentages clamped to 0...100.
        QString wireLine() const;

        friend bool operator==(const PlanCard&, const PlanCard&) = default;
    };

    OverviewBridge(BLEBridge& ble, common::Clock& clock);

    /// Defaults to signed out.
    std::function<Account()> accountProvider;
    /// Defaults to no cards: nothing is sent until real usage data is there.
    std::function<QList<PlanCard>()> planProvider;
    /// Signal bars 0...4; defaults to the link's signal strength.
    std::function<int()> bleBarsProvider;
    /// Battery percent; defaults to -1, not known.
    std::function<int()> batteryProvider;
    /// Seconds; defaults to the time since start().
    std::function<std::uint32_t()> uptimeProvider;

    /// Pushes everything, then follows the link and pushes the frame and plans every 30 s.
    void start();
    /// Ends the periodic pushes; the link observer stays.
    void stop();

    void pushAll();
    void pushAccount();
    void pushPlans();
    void pushDeviceFrame();

    /// The "AU:" line; the fixed signed-out line when the e-mail is absent or empty.
    static QString accountLine(const Account& account);
    /// 0 when not connected; else 4 from -55 dBm, 3 from -65, 2 from -75, 1 below.
    static int barsFor(bool connected, int rssi);

private:
    void forget();

    BLEBridge& m_ble;
    common::Clock& m_clock;
    PushDriver m_driver;
    std::optional<QString> m_lastSentAuLine;
    QStringList m_lastSentPlLines;
    qint64 m_startedAtMs = 0;
};

} // namespace murmeli::device
