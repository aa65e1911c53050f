#include "main/hooks/approvals/SessionAllowRules.h"

namespace murmeli::hooks {

bool SessionAllowRules::allow(const QString& agent, const QString& sessionId, const QString& toolName)
{
    if (agent.isEmpty() || sessionId.isEmpty() || toolName.isEmpty()) {
        return false;
    }
    Allowed& allowed = m_bySession[sessionId];
    // Another agent naming the same id is another session: what was allowed there does not carry over.
    if (allowed.agent != agent) {
        allowed = Allowed { agent, {} };
    }
    allowed.tools.insert(toolName);
    return true;
}

bool SessionAllowRules::allows(const QString& agent, const QString& sessionId, const QString& toolName) const
{
    const auto found = m_bySession.find(sessionId);
    return found != m_bySession.end() && !agent.isEmpty() && found->second.agent == agent
        && found->second.tools.contains(toolName);
}

void SessionAllowRules::forget(const QString& sessionId)
{
    m_bySession.erase(sessionId);
}

} // namespace murmeli::hooks
