#include "main/device/approvals/ShortIdTable.h"

#include <algorithm>

#include "main/common/TextUtils.h"
#include "main/device/approvals/BLEApprovalFraming.h"
#include "main/device/lines/DeviceText.h"

namespace murmeli::device {

QString ShortIdTable::shortIdFor(const QString& fullId)
{
    if (const auto known = m_byFull.constFind(fullId); known != m_byFull.cend()) {
        return *known;
    }
    const QString shortId = uniqueShortId(fullId);
    if (m_order.size() >= static_cast<std::size_t>(capacity)) {
        forget(m_order.front());
    }
    m_byFull.insert(fullId, shortId);
    m_byShort.insert(shortId, fullId);
    m_order.push_back(fullId);
    return shortId;
}

QString ShortIdTable::fullIdFor(const QString& wireId) const
{
    return m_byShort.value(wireId, wireId);
}

void ShortIdTable::forget(const QString& fullId)
{
    const auto known = m_byFull.constFind(fullId);
    if (known == m_byFull.cend()) {
        return;
    }
    m_byShort.remove(*known);
    m_byFull.erase(known);
    m_order.erase(std::find(m_order.begin(), m_order.end(), fullId));
}

QString ShortIdTable::uniqueShortId(const QString& fullId) const
{
    const QString natural = BLEApprovalFraming::idField(fullId);
    if (!m_byShort.contains(natural)) {
        return natural;
    }
    // Ids that share their first characters (the gateway's own ids begin with the session and the tool name) get a
    // counter in place of their last characters; the "…" still tells that the id was cut.
    const QString cleaned = DeviceText::clean(fullId);
    for (int n = 1;; ++n) {
        const QString tag = QLatin1Char('~') + QString::number(n, 36);
        const QString candidate = common::text::prefixCharacters(cleaned, BLEApprovalFraming::idLimit - 1 - tag.size())
            + tag + QChar(0x2026);
        if (!m_byShort.contains(candidate)) {
            return candidate;
        }
    }
}

} // namespace murmeli::device
