#include "main/hooks/sessions/SessionKeyTable.h"

#include <algorithm>
#include <tuple>
#include <utility>
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
    const QString& sessionId, const Claimant& claimant, const Kept& kept, const QDateTime& now)
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
    if (!key || !pair(sessionId, *key, kept, now)) {
        return std::nullopt;
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

bool SessionKeyTable::pair(const QString& sessionId, const SessionKey& key, const Kept& kept, const QDateTime& now)
{
    if (m_keyOfId.contains(sessionId) || m_idOfKey.contains(key)) {
        return false;
    }
    if (m_keyOfId.size() >= capacity && !makeRoom(kept, now)) {
        // Letting go of a listed session's key, or of one whose request waits, would hand it to the next id that
        // begins alike: that id's events would then speak for, and answer, the other's.
        if (!std::exchange(m_refusing, true)) {
            onLog(QStringLiteral("Sessions: %1 session ids remembered, each listed, waiting or just ended; %2 and "
                                 "further new ids are refused until one can go")
                      .arg(m_keyOfId.size())
                      .arg(key.text()));
        }
        return false;
    }
    m_refusing = false;
    m_idOfKey.insert_or_assign(key, sessionId);
    m_keyOfId.insert_or_assign(sessionId, Pairing { key, ++m_heard, std::nullopt });
    return true;
}

bool SessionKeyTable::makeRoom(const Kept& kept, const QDateTime& now)
{
    // Ids that were refused or expired go before ended ones, the least recently heard first.
    std::vector<std::tuple<bool, quint64, QString>> mayGo;
    for (const auto& [id, pairing] : m_keyOfId) {
        const bool ended = pairing.endedAt.has_value();
        if (ended && pairing.endedAt->msecsTo(now) < endedKeptSeconds * 1000) {
            continue;
        }
        if (!kept(pairing.key)) {
            mayGo.emplace_back(ended, pairing.heard, id);
        }
    }
    if (mayGo.empty()) {
        return false;
    }
    std::sort(mayGo.begin(), mayGo.end());
    mayGo.resize((mayGo.size() + 1) / 2);
    for (const auto& [ended, heard, id] : mayGo) {
        const auto found = m_keyOfId.find(id);
        m_idOfKey.erase(found->second.key);
        m_keyOfId.erase(found);
    }
    return true;
}

void SessionKeyTable::markEnded(const QString& sessionId, const QDateTime& now, bool agentGone)
{
    if (const auto found = m_keyOfId.find(sessionId); found != m_keyOfId.end()) {
        found->second.endedAt = now;
        found->second.agentGone = agentGone;
    }
}

bool SessionKeyTable::hasEnded(const QString& sessionId, bool agentGone) const
{
    const auto found = m_keyOfId.find(sessionId);
    return found != m_keyOfId.end() && found->second.endedAt && (!agentGone || found->second.agentGone);
}

void SessionKeyTable::revive(const QString& sessionId)
{
    if (const auto found = m_keyOfId.find(sessionId); found != m_keyOfId.end()) {
        found->second.endedAt.reset();
        found->second.agentGone = false;
    }
}

QString SessionKeyTable::idOf(const SessionKey& key) const
{
    const auto found = m_idOfKey.find(key);
    return found == m_idOfKey.end() ? QString() : found->second;
}

} // namespace murmeli::hooks
