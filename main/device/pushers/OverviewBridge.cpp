#include "main/device/pushers/OverviewBridge.h"

#include <algorithm>
#include <limits>

#include "main/device/lines/DeviceText.h"
#include "main/device/link/BLEBridge.h"

namespace murmeli::device {

namespace {

using DeviceText::cleanAndCut;

constexpr int emailChars = 32;
constexpr int planChars = 16;
constexpr int renewChars = 12;
constexpr int cardNameChars = 16;
constexpr int cardFieldChars = 8;

QString percent(int value)
{
    return QString::number(std::clamp(value, 0, 100));
}

} // namespace

OverviewBridge::OverviewBridge(BLEBridge& ble, common::Clock& clock)
    : m_ble(ble), m_clock(clock), m_driver(ble, clock), m_startedAtMs(clock.monotonicMs())
{
    accountProvider = [] { return Account {}; };
    planProvider = [] { return QList<PlanCard> {}; };
    bleBarsProvider = [this] { return barsFor(m_ble.isConnected(), m_ble.rssi()); };
    batteryProvider = [] { return -1; };
    uptimeProvider = [this] {
        const qint64 seconds = (m_clock.monotonicMs() - m_startedAtMs) / 1000;
        return static_cast<std::uint32_t>(std::clamp<qint64>(seconds, 0, std::numeric_limits<std::uint32_t>::max()));
    };
}

QString OverviewBridge::PlanCard::wireLine() const
{
    const QChar comma = QLatin1Char(',');
    return QStringLiteral("PL:") + cleanAndCut(name, cardNameChars) + comma + percent(pct5h) + comma
        + cleanAndCut(reset5h, cardFieldChars) + comma + percent(pct7d) + comma + cleanAndCut(reset7d, cardFieldChars)
        + comma + cleanAndCut(extraBalance, cardFieldChars) + comma + cleanAndCut(extraSpent, cardFieldChars);
}

QString OverviewBridge::accountLine(const Account& account)
{
    const QString renewDefault = QString(QChar(0x2014));
    if (!account.email || account.email->isEmpty()) {
        return QStringLiteral("AU:murmeli,Free,") + renewDefault;
    }
    const QChar comma = QLatin1Char(',');
    return QStringLiteral("AU:") + cleanAndCut(*account.email, emailChars) + comma
        + cleanAndCut(account.plan.value_or(QStringLiteral("Free")), planChars) + comma
        + cleanAndCut(account.renew.value_or(renewDefault), renewChars);
}

int OverviewBridge::barsFor(bool connected, int rssi)
{
    if (!connected) {
        return 0;
    }
    if (rssi >= -55) {
        return 4;
    }
    if (rssi >= -65) {
        return 3;
    }
    return rssi >= -75 ? 2 : 1;
}

void OverviewBridge::start()
{
    m_startedAtMs = m_clock.monotonicMs();
    pushAll();
    m_driver.watchLink(
        connectedPushDelayMs, [this] { pushAll(); }, [this] { forget(); });
    m_driver.startPeriodic(refreshIntervalMs, [this] {
        pushDeviceFrame();
        pushPlans();
    });
}

void OverviewBridge::stop()
{
    m_driver.stopPeriodic();
}

void OverviewBridge::pushAll()
{
    pushAccount();
    pushPlans();
    pushDeviceFrame();
}

void OverviewBridge::pushAccount()
{
    const QString line = accountLine(accountProvider ? accountProvider() : Account {});
    if (m_lastSentAuLine == line) {
        return;
    }
    m_lastSentAuLine = line;
    m_ble.send(line);
}

void OverviewBridge::pushPlans()
{
    QStringList lines;
    for (const PlanCard& card : planProvider ? planProvider() : QList<PlanCard> {}) {
        lines << card.wireLine();
    }
    if (lines == m_lastSentPlLines) {
        return;
    }
    m_lastSentPlLines = lines;
    for (const QString& line : lines) {
        m_ble.send(line);
    }
}

void OverviewBridge::pushDeviceFrame()
{
    const QChar comma = QLatin1Char(',');
    m_ble.send(QStringLiteral("DV:") + QString::number(bleBarsProvider ? bleBarsProvider() : 0) + comma
        + QString::number(batteryProvider ? batteryProvider() : -1) + comma
        + QString::number(uptimeProvider ? uptimeProvider() : 0) + comma
        + (m_lastSentPlLines.isEmpty() ? QLatin1Char('0') : QLatin1Char('1')));
}

void OverviewBridge::forget()
{
    m_lastSentAuLine.reset();
    m_lastSentPlLines.clear();
}

} // namespace murmeli::device
