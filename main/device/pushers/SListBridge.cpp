#include "main/device/pushers/SListBridge.h"

#include <algorithm>

#include "main/device/lines/DeviceText.h"
#include "main/device/link/BLEBridge.h"

namespace murmeli::device {

namespace {

constexpr int idChars = 8;
constexpr int nameChars = 16;
constexpr int unknownRank = 4;
// The list's own field separator.
constexpr QStringView colon = u":";

int rankOf(const QString& state)
{
    static const QStringList ranked
        = { QStringLiteral("approval"), QStringLiteral("working"), QStringLiteral("idle"), QStringLiteral("silent") };
    const qsizetype rank = ranked.indexOf(state);
    return rank < 0 ? unknownRank : static_cast<int>(rank);
}

} // namespace

SListBridge::SListBridge(BLEBridge& ble, common::Clock& clock) : m_ble(ble), m_driver(ble, clock)
{
    sessionsProvider = [] { return QList<WireRow> {}; };
}

void SListBridge::start()
{
    m_driver.watchLink(
        connectedPushDelayMs, [this] { pushNow(); }, [this] { m_lastSentLine.reset(); });
    m_driver.startPeriodic(refreshIntervalMs, [this] { pushNow(); });
    pushNow();
}

void SListBridge::stop()
{
    m_driver.stopPeriodic();
}

void SListBridge::pushNow()
{
    const QString line = buildWireLine(sortedForWire(sessionsProvider ? sessionsProvider() : QList<WireRow> {}));
    if (m_lastSentLine == line) {
        return;
    }
    m_lastSentLine = line;
    m_ble.send(line);
}

QList<SListBridge::WireRow> SListBridge::sortedForWire(const QList<WireRow>& rows)
{
    QList<WireRow> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(),
        [](const WireRow& a, const WireRow& b) { return rankOf(a.state) < rankOf(b.state); });
    return sorted;
}

QString SListBridge::buildWireLine(const QList<WireRow>& rows, int maxRows)
{
    const qsizetype count = std::min<qsizetype>(rows.size(), std::max(maxRows, 0));
    QString line = QStringLiteral("SL:") + QString::number(count);
    for (qsizetype i = 0; i < count; ++i) {
        const WireRow& row = rows.at(i);
        line += QLatin1Char(',') + DeviceText::cleanAndCut(row.id, idChars, colon) + QLatin1Char(':') + row.state
            + QLatin1Char(':') + DeviceText::cleanAndCut(row.name, nameChars, colon);
    }
    return line;
}

} // namespace murmeli::device
