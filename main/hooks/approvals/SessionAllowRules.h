#pragma once

#include <map>

#include <QSet>
#include <QString>

namespace murmeli::hooks {

/// The tools the user allowed for the rest of a session of an agent that cannot keep such an allow itself (Always
/// Allow on a Codex card). In memory only, by the agent and its whole session id, so that an allow never reaches
/// another session; the owner forgets a session's allows when it ends or starts again.
class SessionAllowRules final {
public:
    /// False, keeping nothing, without an agent, a session id or a tool name.
    bool allow(const QString& agent, const QString& sessionId, const QString& toolName);
    bool allows(const QString& agent, const QString& sessionId, const QString& toolName) const;
    void forget(const QString& sessionId);

private:
    struct Allowed {
        QString agent;
        QSet<QString> tools;
    };

    std::map<QString, Allowed> m_bySession;
};

} // namespace murmeli::hooks
