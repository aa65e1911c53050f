#include "main/hooks/sessions/SessionKeyTable.h"

#include <algorithm>
#include <vector>

#include <QCryptographicHash>

namespace murmeli::hooks {

namespace {

// 8 characters that depend on the whole id, for an id whose own stretches are all taken.
std::optional<SessionKey> drawnKey(const QString& sessionId, int draw)
{
    const QByteArray digest
        = QCryptographicHash::hash((sessionId + u'#' + QString::number(draw)).toUtf8(), QCryptographicHash::Sha256);
    return SessionKey::fromFileKey(QString::fromLatin1(digest.toHex().left(SessionKey::length)));
}

} // namespace

std::optional<SessionKey> SessionKeyTable::keyFor(
    const QString& sessionId, const Claimant& claimant, const Listed& listed)
{
    if (const auto known = m_keyOfId.find(sessionId); known != m_keyOfId.end()) {
        known->second.heard = ++m_heard;
        return known->second.key;
    }
    const std::optional<SessionKey> natural = SessionKey::fromSessionId(sessionId);
    if (!natural) {
        return std::nullopt;
    }
    std::optional<SessionKey> key;
    if (isFreeFor(*natural, sessionId, true, claimant)) {
        key = natural;
    }
    // Where two ids differ lies further on: the last 8 characters of this one, else the stretch before them, and so
    // on, the first that no other session has, listed or not.
    for (qsizetype end = sessionId.size(); end >= SessionKey::length && !key; --end) {
        const auto candidate = SessionKey::fromFileKey(sessionId.mid(end - SessionKey::length, SessionKey::length));
        if (candidate && isFreeFor(*candidate, sessionId, false, claimant)) {
            key = candidate;
        }
    }
    // An id no longer than a key has no other stretch.
    for (int draw = 0; draw < 16 && !key; ++draw) {
        const auto candidate = drawnKey(sessionId, draw);
        if (candidate && isFreeFor(*candidate, sessionId, false, claimant)) {
            key = candidate;
        }
    }
    if (key) {
        pair(sessionId, *key, listed);
    }
    return key;
}

bool SessionKeyTable::isFreeFor(
    const SessionKey& candidate, const QString& sessionId, bool natural, const Claimant& claimant) const
{
    if (m_idOfKey.contains(candidate)) {
        return false;
    }
    // Listed from its files, as after a restart, before its own id has spoken.
    const std::optional<QString> owner = claimant(candidate);
    return !owner || *owner == sessionId || (natural && owner->isEmpty());
}

void SessionKeyTable::pair(const QString& sessionId, const SessionKey& key, const Listed& listed)
{
    if (m_keyOfId.contains(sessionId) || m_idOfKey.contains(key)) {
        return;
    }
    if (m_keyOfId.size() >= capacity) {
        // Ids of sessions that ended long ago, or were refused.
        std::vector<std::pair<quint64, QString>> byAge;
        for (const auto& [id, pairing] : m_keyOfId) {
            if (!listed(pairing.key)) {
                byAge.emplace_back(pairing.heard, id);
            }
        }
        std::sort(byAge.begin(), byAge.end());
        byAge.resize(byAge.size() / 2 + 1);
        for (const auto& [heard, id] : byAge) {
            m_idOfKey.erase(m_keyOfId.at(id).key);
            m_keyOfId.erase(id);
        }
    }
    m_idOfKey.insert_or_assign(key, sessionId);
    m_keyOfId.insert_or_assign(sessionId, Pairing { key, ++m_heard });
}

QString SessionKeyTable::idOf(const SessionKey& key) const
{
    const auto found = m_idOfKey.find(key);
    return found == m_idOfKey.end() ? QString() : found->second;
}

} // namespace murmeli::hooks
