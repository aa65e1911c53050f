#pragma once

#include <functional>
#include <map>
#include <optional>

#include <QDateTime>
#include <QString>

#include "main/common/Log.h"
#include "main/hooks/sessions/SessionKey.h"

namespace murmeli::hooks {

/// Which session id holds which key, both ways, so that two ids never share one and an id keeps its key for as long
/// as it may post: past the end of its row and, through the files of the session listed under it, past a restart.
class SessionKeyTable final {
public:
    /// Ids whose keys are remembered. Beyond it the older half of those that may be let go, by when each was last
    /// asked for, is let go; when none may, the newcomer is refused.
    static constexpr std::size_t capacity = 1024;
    /// An ended id is let go only this long after it ended: what its agent still had on the way arrives long before,
    /// however many other ids come meanwhile.
    static constexpr qint64 endedKeptSeconds = 600;

    /// Whose a key is that no id of the table holds: nullopt when nobody's (no session is listed under it), else the
    /// id the files of the session listed under it name, empty when they name none.
    using Claimant = std::function<std::optional<QString>(const SessionKey& key)>;
    /// Whether the key must stay with its id: a session is listed under it, or holds a request.
    using Kept = std::function<bool(const SessionKey& key)>;

    /// Said once when the table is full of ids it must keep, and once more each time that happens again.
    common::LineSink onLog;

    /// The id's key: SessionKey::fromSessionId() unless another id holds it or the session listed under it is
    /// another's; then 8 other characters of the id, the last 8 first, else 8 drawn from the whole id. nullopt when
    /// the id gives no safe key or the table is full of ids it must keep.
    std::optional<SessionKey> keyFor(
        const QString& sessionId, const Claimant& claimant, const Kept& kept, const QDateTime& now);
    /// Pairs the two unless either is held already; false when they are not paired now.
    bool pair(const QString& sessionId, const SessionKey& key, const Kept& kept, const QDateTime& now);
    /// The id that holds the key; empty when none does.
    QString idOf(const SessionKey& key) const;
    bool holds(const QString& sessionId) const { return m_keyOfId.contains(sessionId); }

    /// The id's session ended: it keeps its key, and is known as ended until revive(); agentGone says why.
    void markEnded(const QString& sessionId, const QDateTime& now, bool agentGone = false);
    /// Ended, and with its agent gone where agentGone is asked for.
    bool hasEnded(const QString& sessionId, bool agentGone = false) const;
    void revive(const QString& sessionId);

private:
    struct Pairing {
        SessionKey key;
        // When keyFor() last gave it out, in calls.
        quint64 heard = 0;
        std::optional<QDateTime> endedAt;
        bool agentGone = false;
    };

    bool isFreeFor(const SessionKey& candidate, const QString& sessionId, bool natural, const Claimant& claimant) const;
    /// Lets go of the older half of the ids that may go; false when none may.
    bool makeRoom(const Kept& kept, const QDateTime& now);

    std::map<SessionKey, QString> m_idOfKey;
    std::map<QString, Pairing> m_keyOfId;
    quint64 m_heard = 0;
    // Set by a refusal and cleared once there is room, so that a flood logs one line.
    bool m_refusing = false;
};

} // namespace murmeli::hooks
