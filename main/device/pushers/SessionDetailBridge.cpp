#include "main/device/pushers/SessionDetailBridge.h"

#include <algorithm>

#include <QSet>

#include "main/device/lines/DeviceText.h"
#include "main/device/link/BLEBridge.h"
#include "main/hooks/status/TokenStore.h"

namespace murmeli::device {

namespace {

constexpr int idChars = 8;
constexpr int nameChars = 16;
constexpr int modelChars = 16;
constexpr int shortChars = 8;
constexpr int maxPending = 99;

QString orDash(const QString& text)
{
    return text.isEmpty() ? QString(QChar(0x2014)) : text;
}

QString orZero(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("0") : text;
}

QString tokens(qint64 count)
{
    return count < 1 ? QStringLiteral("0") : hooks::TokenStore::formatTokensDisplay(count);
}

} // namespace

SessionDetailBridge::SessionDetailBridge(BLEBridge& ble, common::Clock& clock)
    : m_ble(ble), m_clock(clock), m_driver(ble, clock)
{
    rowsProvider = [] { return QList<WireRow> {}; };
}

void SessionDetailBridge::start()
{
    m_driver.watchLink(
        connectedPushDelayMs, [this] { pushNow(); }, [this] { m_lastSentLines.clear(); });
    m_driver.startPeriodic(heartbeatIntervalMs, [this] { pushNow(); });
    pushNow();
}

void SessionDetailBridge::stop()
{
    m_driver.stopPeriodic();
}

void SessionDetailBridge::pushNow()
{
    const qint64 now = m_clock.monotonicMs();
    if (!m_lastPushAtMs || now - *m_lastPushAtMs >= refreshIntervalMs) {
        m_lastPushAtMs = now;
        m_pendingPush = false;
        perform();
        return;
    }
    if (m_pendingPush) {
        return;
    }
    m_pendingPush = true;
    m_driver.after(std::max(refreshIntervalMs - (now - *m_lastPushAtMs), minimumWaitMs), [this] {
        if (!m_pendingPush) {
            return;
        }
        m_pendingPush = false;
        m_lastPushAtMs = m_clock.monotonicMs();
        perform();
    });
}

void SessionDetailBridge::perform()
{
    const QList<WireRow> rows = rowsProvider ? rowsProvider() : QList<WireRow> {};
    QSet<QString> present;
    present.reserve(rows.size());
    for (const WireRow& row : rows) {
        present.insert(row.id);
        QString line = buildWireLine(row);
        QString& last = m_lastSentLines[row.id];
        if (last == line) {
            continue;
        }
        last = line;
        m_ble.send(line);
    }
    m_lastSentLines.removeIf(
        [&present](QHash<QString, QString>::iterator entry) { return !present.contains(entry.key()); });
}

QString SessionDetailBridge::sanitize(const QString& text, int max)
{
    return DeviceText::cleanAndCut(text, max);
}

QString SessionDetailBridge::buildWireLine(const WireRow& row)
{
    const QChar comma = QLatin1Char(',');
    return QStringLiteral("SD:") + sanitize(row.id, idChars) + comma + row.state + comma + sanitize(row.name, nameChars)
        + comma + sanitize(orDash(row.model), modelChars) + comma + sanitize(orDash(row.effort), shortChars) + comma
        + sanitize(orZero(row.ctxUsed), shortChars) + comma + sanitize(orZero(row.ctxTotal), shortChars) + comma
        + sanitize(orDash(row.lastActive), shortChars) + comma
        + QString::number(std::clamp(row.pendingCount, 0, maxPending));
}

QString SessionDetailBridge::relativeTime(const QDateTime& from, const QDateTime& now)
{
    const qint64 s = from.msecsTo(now) / 1000;
    if (s < 0) {
        return QStringLiteral("now");
    }
    if (s < 60) {
        return QString::number(s) + QLatin1Char('s');
    }
    if (s < 3600) {
        return QString::number(s / 60) + QLatin1Char('m');
    }
    if (s < 86400) {
        return QString::number(s / 3600) + QLatin1Char('h');
    }
    if (s < 864000) {
        return QString::number(s / 86400) + QLatin1Char('d');
    }
    return QStringLiteral("9d+");
}

SessionDetailBridge::WireRow SessionDetailBridge::wireRow(const RowSource& source, const QDateTime& now)
{
    WireRow row;
    row.id = source.sid;
    row.state = source.state;
    row.name = source.projectName.isEmpty() ? source.sid : source.projectName;
    row.model = source.modelName;
    row.effort = source.effort;
    row.ctxUsed = tokens(source.ctxUsedTokens);
    row.ctxTotal = tokens(source.ctxTotalTokens);
    row.lastActive = relativeTime(source.updatedAt, now);
    row.pendingCount = source.pendingCount;
    return row;
}

} // namespace murmeli::device
