#include "main/hooks/status/TokenStore.h"

#include <limits>

#include <QDate>

namespace murmeli::hooks {

TokenStore::TokenStore(platform::Defaults& defaults, std::shared_ptr<common::Clock> clock)
    : m_defaults(defaults), m_clock(clock ? std::move(clock) : std::make_shared<common::SystemClock>())
{
    rollOverDay();
}

QString TokenStore::currentDateString() const
{
    // The day ends at the user's midnight, not at UTC's.
    return m_clock->now().toLocalTime().date().toString(Qt::ISODate);
}

qint64 TokenStore::counter(const char* key) const
{
    // A hand-edited or foreign value must not poison the sums: anything that is not a count reads as none.
    const qint64 stored = m_defaults.intValue(QString::fromLatin1(key)).value_or(0);
    return stored < 0 ? 0 : stored;
}

qint64 TokenStore::cumulative() const
{
    return counter(cumulativeKey);
}

qint64 TokenStore::today()
{
    rollOverDay();
    return counter(todayKey);
}

QString TokenStore::todayDate() const
{
    return m_defaults.stringValue(QString::fromLatin1(todayDateKey)).value_or(QString());
}

void TokenStore::rollOverDay()
{
    const QString current = currentDateString();
    if (todayDate() == current) {
        return;
    }
    // The count is cleared before the new day is named, so an interrupted rollover never credits yesterday's
    // tokens to today.
    m_defaults.setValue(QString::fromLatin1(todayKey), QJsonValue(qint64(0)));
    m_defaults.setValue(QString::fromLatin1(todayDateKey), current);
}

void TokenStore::addTokens(qint64 n)
{
    if (n < 1) {
        return;
    }
    rollOverDay();
    constexpr qint64 ceiling = std::numeric_limits<qint64>::max();
    const auto saturatingAdd = [n](qint64 value) { return value > ceiling - n ? ceiling : value + n; };
    m_defaults.setValue(QString::fromLatin1(cumulativeKey), QJsonValue(saturatingAdd(counter(cumulativeKey))));
    m_defaults.setValue(QString::fromLatin1(todayKey), QJsonValue(saturatingAdd(counter(todayKey))));
}

void TokenStore::recordSessionSnapshot(const QString& sessionId, qint64 totalTokens)
{
    if (sessionId.isEmpty() || totalTokens < 0) {
        return;
    }
    const auto previous = m_lastSeenPerSession.constFind(sessionId);
    if (previous == m_lastSeenPerSession.cend()) {
        // Tokens a session spent before we first saw it (say, before this launch) are not ours to count.
        m_lastSeenPerSession.insert(sessionId, totalTokens);
        return;
    }
    // A falling total (a restarted or compacted session) keeps the higher baseline, so the same tokens are not
    // counted twice when it climbs back.
    if (*previous >= totalTokens) {
        return;
    }
    const qint64 growth = totalTokens - *previous;
    m_lastSeenPerSession.insert(sessionId, totalTokens);
    addTokens(growth);
}

void TokenStore::reset()
{
    m_defaults.remove(QString::fromLatin1(cumulativeKey));
    m_defaults.remove(QString::fromLatin1(todayKey));
    m_defaults.remove(QString::fromLatin1(todayDateKey));
    m_lastSeenPerSession.clear();
}

QString TokenStore::formatTokensDisplay(qint64 n)
{
    const qint64 m = n < 0 ? 0 : n;
    // Digits are truncated, never rounded, so the device never shows more than was used.
    if (m < 1'000) {
        return QString::number(m);
    }
    if (m < 10'000) {
        return QStringLiteral("%1.%2k").arg(m / 1'000).arg((m % 1'000) / 100);
    }
    if (m < 1'000'000) {
        return QStringLiteral("%1k").arg(m / 1'000);
    }
    if (m < 10'000'000) {
        return QStringLiteral("%1.%2M").arg(m / 1'000'000).arg((m % 1'000'000) / 100'000);
    }
    return QStringLiteral("%1M").arg(m / 1'000'000);
}

} // namespace murmeli::hooks
