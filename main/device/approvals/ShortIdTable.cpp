#include "main/device/approvals/ShortIdTable.h"

#include <algorithm>

#include <QRandomGenerator>

#include "main/common/TextUtils.h"
#include "main/device/approvals/BLEApprovalFraming.h"
#include "main/device/lines/DeviceText.h"

namespace murmeli::device {

namespace {

// Four base-36 digits leave eleven characters of the full id in front of the serial.
constexpr quint64 firstFourDigitSerial = 36 * 36 * 36;
constexpr quint64 firstFiveDigitSerial = firstFourDigitSerial * 36;
const QChar ellipsis(0x2026);

} // namespace

ShortIdTable::ShortIdTable()
    : ShortIdTable(QRandomGenerator::global()->bounded(firstFourDigitSerial, firstFiveDigitSerial))
{
}

ShortIdTable::ShortIdTable(quint64 firstSerial) : m_nextSerial(firstSerial) { }

QString ShortIdTable::shortIdFor(const QString& fullId)
{
    if (const auto live = m_byFull.constFind(fullId); live != m_byFull.cend()) {
        return *live;
    }
    if (m_order.size() >= static_cast<std::size_t>(capacity)) {
        retire(m_order.front());
    }
    const QString shortId = newShortId(fullId);
    m_byFull.insert(fullId, shortId);
    m_byShort.insert(shortId, fullId);
    m_order.push_back(fullId);
    return shortId;
}

QString ShortIdTable::newShortId(const QString& fullId)
{
    const QString cleaned = DeviceText::clean(fullId);
    // Serial ids all end in "…", so an id shown as itself must not hold one to stay apart from them.
    const bool plain = common::text::characterCount(cleaned) <= BLEApprovalFraming::idLimit
        && !cleaned.contains(ellipsis) && !m_plainGiven.contains(cleaned) && m_plainGiven.size() < plainCapacity;
    if (plain) {
        m_plainGiven.insert(cleaned);
        return cleaned;
    }
    // The serial follows the last "~" and is never used twice, so no two requests share an id whatever their
    // first characters (the gateway's own ids of one session and tool agree in all that the device could show).
    const QString serial = QLatin1Char('~') + QString::number(m_nextSerial++, 36);
    const int head = std::max(0, BLEApprovalFraming::idLimit - 1 - static_cast<int>(serial.size()));
    return common::text::prefixCharacters(cleaned, head) + serial + ellipsis;
}

QString ShortIdTable::fullIdFor(const QString& wireId) const
{
    return m_byShort.value(wireId, wireId);
}

std::optional<QString> ShortIdTable::liveShortId(const QString& fullId) const
{
    if (const auto live = m_byFull.constFind(fullId); live != m_byFull.cend()) {
        return *live;
    }
    return std::nullopt;
}

std::optional<QString> ShortIdTable::retiredFullId(const QString& wireId) const
{
    if (const auto retired = m_retired.constFind(wireId); retired != m_retired.cend()) {
        return *retired;
    }
    return std::nullopt;
}

void ShortIdTable::retire(const QString& fullId)
{
    const auto live = m_byFull.constFind(fullId);
    if (live == m_byFull.cend()) {
        return;
    }
    const QString shortId = *live;
    m_byShort.remove(shortId);
    m_byFull.erase(live);
    m_order.erase(std::find(m_order.begin(), m_order.end(), fullId));
    if (m_retiredOrder.size() >= static_cast<std::size_t>(retiredCapacity)) {
        m_retired.remove(m_retiredOrder.front());
        m_retiredOrder.pop_front();
    }
    m_retired.insert(shortId, fullId);
    m_retiredOrder.push_back(shortId);
}

} // namespace murmeli::device
