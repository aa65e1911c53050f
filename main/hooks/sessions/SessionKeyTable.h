#pragma once

#include <functional>
#include <map>
#include <optional>

#include <QString>

#include "main/hooks/sessions/SessionKey.h"

namespace murmeli::hooks {

/// Which session id holds which key, both ways, so that two ids never share one and an id keeps its key for as long
/// as it may post: past the end of its row and, through the files of the session listed under it, past a restart.
class SessionKeyTable final {
public:
    /// Ids whose keys are remembered; beyond it the older half of those not listed, by when each was last asked for,
    /// is let go.
    static constexpr std::size_t capacity = 1024;

    /// Whose a key is that no id of the table holds: nullopt when nobody's (no session is listed under it), else the
    /// id the files of the session listed under it name, empty when they name none.
    using Claimant = std::function<std::optional<QString>(const SessionKey& key)>;
    /// Whether a session is listed under the key.
    using Listed = std::function<bool(const SessionKey& key)>;

    /// The id's key: SessionKey::fromSessionId() unless another id holds it or the session listed under it is
    /// another's; then 8 other characters of the id, the last 8 first, else 8 drawn from the whole id. nullopt when
    /// the id gives no safe key.
    std::optional<SessionKey> keyFor(const QString& sessionId, const Claimant& claimant, const Listed& listed);
    /// Pairs the two unless either is held already.
    void pair(const QString& sessionId, const SessionKey& key, const Listed& listed);
    /// The id that holds the key; empty when none does.
    QString idOf(const SessionKey& key) const;
    bool holds(const QString& sessionId) const { return m_keyOfId.contains(sessionId); }

private:
    struct Pairing {
        SessionKey key;
        // When keyFor() last gave it out, in calls.
        quint64 heard = 0;
    };

    bool isFreeFor(const SessionKey& candidate, const QString& sessionId, bool natural, const Claimant& claimant) const;

    std::map<SessionKey, QString> m_idOfKey;
    std::map<QString, Pairing> m_keyOfId;
    quint64 m_heard = 0;
};

} // namespace murmeli::hooks
