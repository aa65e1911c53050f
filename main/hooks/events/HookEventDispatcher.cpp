#include "main/hooks/events/HookEventDispatcher.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>

#include "main/common/TextUtils.h"
#include "main/hooks/approvals/ApprovalSerialization.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks {

using common::LogColor;
using hooks::HookEventType;

namespace {

constexpr const char* idleNotification = "idle_prompt";

QString stringOf(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

// Shown in a log line, so nothing the agent sent can break the line or run on for pages.
QString printable(const QString& text)
{
    QString shown = common::text::truncateWithEllipsis(text, 40);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char('?');
        }
    }
    return shown;
}

} // namespace

HookEventDispatcher::HookEventDispatcher(
    hooks::SessionRegistry& registry, hooks::SessionFileWriter& files, common::Clock& clock)
    : agentFinder(clock), m_registry(registry), m_files(files), m_clock(clock)
{
    agentFinder.onLookedUp = [this](const QString& sessionId) { settleAgent(sessionId); };
}

bool HookEventDispatcher::dispatch(const QString& eventName, const QJsonObject& payload)
{
    const auto type = hooks::hookEventTypeFromString(eventName);
    const QString sessionId = hooks::SessionKey::payloadSessionId(payload);
    // A process that does not run here (the agent is in another pid namespace, or already gone) tells nothing.
    const auto agent = hooks::AgentProcessId::parse(stringOf(payload, "_murmeli_agent_process"));
    const bool agentRuns = agent && agent->isRunning();
    if (type != HookEventType::SessionEnd && m_registry.hasEnded(sessionId)) {
        if (!comesBack(type, sessionId, agentRuns ? agent : std::nullopt, agent.has_value())) {
            return false;
        }
        m_registry.forgetEnded(sessionId);
        // A session started anew, or back without a proof, is looked for anew, as a new session is (it may be the
        // likely one's); one back by a look's proof keeps the process it proved.
        if (!agentFinder.resumedAgent(sessionId)) {
            agentFinder.forget(sessionId);
        }
    }
    const std::optional<hooks::SessionKey> found = m_registry.keyFor(sessionId);
    if (!found) {
        const QString refused = hooks::SessionKey::payloadIdPrefix(payload);
        if (refused.isEmpty()) {
            return true;
        }
        if (hooks::SessionKey::fromSessionId(sessionId)) {
            // A good key, but the registry's table of them is full; it said so.
            return false;
        }
        onLog(QStringLiteral("[hook-diag] %1: session key \"%2\" refused (only letters, digits, \"-\" and \"_\"); "
                             "nothing written")
                  .arg(printable(eventName), printable(refused)),
            LogColor::Orange);
        return false;
    }
    const hooks::SessionKey& key = *found;
    const QString cwd = stringOf(payload, "cwd");
    const QString adapter = stringOf(payload, "_murmeli_adapter");
    if (type == HookEventType::SessionEnd) {
        // No announcement first: it would be undone at once, and its list line with it.
        if (m_registry.contains(key)) {
            onLog(QStringLiteral("Sessions: %1 ended: its agent said so").arg(key.text()), LogColor::Orange);
        }
        endSession(key);
        return true;
    }
    // A session the full registry refuses gets no files either, so a flood of ids costs nothing on disk.
    if (!m_registry.contains(key) && !m_registry.addSession(key, cwd, adapter)) {
        return false;
    }
    // Claude Code's status line and its reminder that it waits for input come while nothing happens.
    const bool idleReminder = type == HookEventType::Notification
        && stringOf(payload, "notification_type") == QLatin1String(idleNotification);
    m_registry.noteEvent(key, adapter, type == HookEventType::Status || idleReminder);
    switch (type.value_or(HookEventType::Status)) {
    case HookEventType::SessionStart:
        m_registry.addSession(key, cwd, adapter);
        break;
    case HookEventType::CwdChanged: {
        // Its "cwd" may still name the folder it left.
        const QString moved = stringOf(payload, "new_cwd");
        m_registry.setHookFolder(key, moved.isEmpty() ? cwd : moved);
        break;
    }
    case HookEventType::UserPromptSubmit: {
        const QJsonValue title
            = payload.value(QLatin1String("hookSpecificOutput")).toObject().value(QLatin1String("sessionTitle"));
        if (title.isString()) {
            m_registry.setHookSessionTitle(key, title.toString());
        }
        break;
    }
    case HookEventType::Stop: {
        const QString text = stringOf(payload, "last_assistant_message").trimmed();
        if (!text.isEmpty()) {
            m_registry.setHookLastAssistant(key, text);
        }
        break;
    }
    default:
        break;
    }
    if (type != HookEventType::CwdChanged) {
        m_registry.setHookFolder(key, cwd);
    }
    if (agentRuns) {
        m_registry.setHookAgent(key, ownAgentOf(key, sessionId, *agent), *agent);
    }
    noteFiles(eventName, key, payload);
    return true;
}

bool HookEventDispatcher::comesBack(std::optional<hooks::HookEventType> type, const QString& sessionId,
    const std::optional<hooks::AgentProcessId>& runningAgent, bool namesAgent) const
{
    // Its status line running once more says nothing of the session, nor does a hook of an agent that has exited
    // since: neither may list it or leave a record of it. A new start brings it back, and so does an event of an
    // agent that runs: a resumed session may send no start. An event that names no agent brings it back where the
    // agent itself told it to end. A server that runs the hooks of several sessions speaks for a session that ended
    // with its own process, or was tied to one, where a fresh look proves a process of its own running again, or finds
    // one started to resume a session without naming which; a late word of its old turn brings nothing back. A
    // request is no late word: the agent waits for its answer, so the session was resumed somewhere.
    if (type == HookEventType::Status) {
        return false;
    }
    if (type == HookEventType::SessionStart) {
        return true;
    }
    if (!namesAgent) {
        return !m_registry.endedWithItsAgent(sessionId);
    }
    if (!runningAgent) {
        return false;
    }
    return type == HookEventType::PermissionRequest || !needsProof(sessionId, *runningAgent)
        || agentFinder.namesSession(*runningAgent, sessionId) || agentFinder.resumedAgent(sessionId).has_value()
        || agentFinder.startedAgain(sessionId);
}

bool HookEventDispatcher::needsProof(const QString& sessionId, const hooks::AgentProcessId& agent) const
{
    return agentFinder.isServer(agent) && !agentFinder.namesSession(agent, sessionId)
        && (m_registry.endedWithItsAgent(sessionId) || agentFinder.tiedAgent(sessionId).has_value());
}

bool HookEventDispatcher::awaitsLook(const QString& eventName, const QJsonObject& payload) const
{
    const auto type = hooks::hookEventTypeFromString(eventName);
    if (type == HookEventType::Status || type == HookEventType::SessionStart || type == HookEventType::SessionEnd) {
        return false;
    }
    const QString sessionId = hooks::SessionKey::payloadSessionId(payload);
    const auto agent = hooks::AgentProcessId::parse(stringOf(payload, "_murmeli_agent_process"));
    return m_registry.hasEnded(sessionId) && agent && agent->isRunning() && needsProof(sessionId, *agent);
}

QCoro::Task<> HookEventDispatcher::prepare(QString eventName, QJsonObject payload)
{
    if (!awaitsLook(eventName, payload)) {
        co_return;
    }
    const QString sessionId = hooks::SessionKey::payloadSessionId(payload);
    const auto agent = hooks::AgentProcessId::parse(stringOf(payload, "_murmeli_agent_process"));
    co_await agentFinder.lookAgain(*agent, endedSession(sessionId, stringOf(payload, "cwd")));
}

hooks::SessionAgentFinder::Session HookEventDispatcher::agentQuestion(
    const hooks::SessionKey& key, const QString& sessionId) const
{
    hooks::SessionAgentFinder::Session session;
    session.id = sessionId;
    for (const hooks::SessionSnapshot& listed : m_registry.sessions()) {
        if (listed.sid8 == key) {
            session.folders = listed.hookFolders;
            session.current = listed.hookAgent;
            session.windows = m_registry.hookWindowsOf(key);
        } else if (listed.hookAgent) {
            session.others.push_back(
                { m_registry.idOf(listed.sid8), *listed.hookAgent, listed.hookFolders, listed.hooksProcess });
        }
    }
    return session;
}

hooks::SessionAgentFinder::Session HookEventDispatcher::endedSession(const QString& sessionId, const QString& cwd) const
{
    // Listed again it would work where its event says, as a session listed anew does.
    hooks::SessionAgentFinder::Session session;
    session.id = sessionId;
    if (cwd.startsWith(u'/')) {
        session.folders = { cwd, cwd };
    }
    for (const hooks::SessionSnapshot& listed : m_registry.sessions()) {
        if (listed.hookAgent) {
            session.others.push_back(
                { m_registry.idOf(listed.sid8), *listed.hookAgent, listed.hookFolders, listed.hooksProcess });
        }
    }
    return session;
}

hooks::AgentProcessId HookEventDispatcher::ownAgentOf(
    const hooks::SessionKey& key, const QString& sessionId, const hooks::AgentProcessId& named)
{
    const hooks::SessionAgentFinder::Session session = agentQuestion(key, sessionId);
    const hooks::AgentProcessId own = agentFinder.ownAgent(named, session).agent;
    if (own != named && own != session.current) {
        logOwnAgent(key, own, named);
    }
    return own;
}

void HookEventDispatcher::logOwnAgent(
    const hooks::SessionKey& key, const hooks::AgentProcessId& own, const hooks::AgentProcessId& named)
{
    onLog(QStringLiteral("Sessions: %1's agent is pid %2; its hooks run under pid %3, which has no terminal")
              .arg(key.text(), own.pidText(), named.pidText()),
        LogColor::Grey);
}

void HookEventDispatcher::settleAgent(const QString& sessionId)
{
    const auto listed = std::find_if(m_registry.sessions().begin(), m_registry.sessions().end(),
        [&](const hooks::SessionSnapshot& s) { return s.hookAgent && m_registry.idOf(s.sid8) == sessionId; });
    const std::optional<hooks::SessionAgentFinder::Verdict> verdict = agentFinder.heldAgent(sessionId);
    if (listed == m_registry.sessions().end() || !verdict) {
        return;
    }
    const hooks::SessionKey key = listed->sid8;
    const bool windowsChanged = m_registry.setHookWindows(key, agentFinder.windowsSeen(sessionId));
    if (listed->hookAgent == verdict->agent) {
        if (windowsChanged) {
            m_pending[key];
            if (onAgentSettled) {
                onAgentSettled();
            }
        }
        return;
    }
    if (!verdict->undecided.empty()) {
        onLog(QStringLiteral("Sessions: %1's hooks run under pid %2, which has no terminal; which of pids %3 is its "
                             "own cannot be told")
                  .arg(key.text(), verdict->server.pidText(), verdict->undecidedPids()),
            LogColor::Grey);
    } else if (verdict->untold) {
        onLog(QStringLiteral("Sessions: %1's own process is no longer told; it stays with pid %2, which runs its hooks "
                             "without a terminal")
                  .arg(key.text(), verdict->server.pidText()),
            LogColor::Grey);
    } else {
        logOwnAgent(key, verdict->agent, verdict->server);
    }
    m_registry.setHookAgent(key, verdict->agent, verdict->server);
    // Its record names the process, which the hook scripts then watch.
    m_pending[key];
    if (onAgentSettled) {
        onAgentSettled();
    }
}

void HookEventDispatcher::recheckAgents()
{
    for (const hooks::SessionSnapshot& listed : m_registry.sessions()) {
        if (listed.hookAgent && listed.hookAgent->isRunning()) {
            agentFinder.recheck(listed.hooksProcess.value_or(*listed.hookAgent),
                agentQuestion(listed.sid8, m_registry.idOf(listed.sid8)));
        }
    }
}

void HookEventDispatcher::endSession(const hooks::SessionKey& key, bool agentGone)
{
    m_registry.removeSession(key, agentGone);
    m_writtenTranscriptPaths.remove(key);
    m_pending.erase(key);
}

bool HookEventDispatcher::flush()
{
    if (m_pending.empty()) {
        return false;
    }
    std::map<hooks::SessionKey, PendingFiles> pending;
    pending.swap(m_pending);
    for (const auto& [key, files] : pending) {
        if (files.transcriptPath
            && (m_writtenTranscriptPaths.value(key) != *files.transcriptPath
                || !m_files.exists(key, hooks::StatusFileKind::TranscriptPath))) {
            if (m_files.writeTranscriptPath(key, *files.transcriptPath)) {
                m_writtenTranscriptPaths.insert(key, *files.transcriptPath);
            }
        }
        if (files.activity) {
            const auto& a = *files.activity;
            m_files.writeActivity(key, a.text, a.tool, a.ts, a.project);
        }
        if (files.notice) {
            const auto& n = *files.notice;
            m_files.writeNotify(key, n.type, n.text, n.ts, n.project);
        }
        if (files.status) {
            writeStatus(key, *files.status);
        }
        if (const auto record = m_registry.recordOf(key)) {
            m_files.writeRecord(key, *record);
        }
        m_registry.refreshSnapshot(key);
    }
    // Sessions also leave by expiring, without a SessionEnd; their paths go once they outnumber the registry's.
    if (std::size_t(m_writtenTranscriptPaths.size()) > hooks::SessionRegistry::maxSessions) {
        m_writtenTranscriptPaths.removeIf(
            [&](QHash<hooks::SessionKey, QString>::iterator entry) { return !m_registry.contains(entry.key()); });
    }
    return true;
}

void HookEventDispatcher::noteFiles(const QString& eventName, const hooks::SessionKey& key, const QJsonObject& payload)
{
    // Only the latest of each file matters, so a burst of events for a session costs one write per file.
    PendingFiles& files = m_pending[key];
    const qint64 now = m_clock.now().toSecsSinceEpoch();
    const QString project = common::text::lastPathComponent(stringOf(payload, "cwd"));
    const QString transcriptPath = stringOf(payload, "transcript_path");
    if (!transcriptPath.isEmpty()) {
        files.transcriptPath = transcriptPath;
    }
    const auto type = hooks::hookEventTypeFromString(eventName);
    if (!type) {
        return;
    }
    switch (*type) {
    case HookEventType::Status: {
        QJsonObject status = payload;
        status.remove(QLatin1String("_murmeli_adapter"));
        files.status = status;
        break;
    }
    case HookEventType::PostToolUse:
    case HookEventType::PostToolUseFailure: {
        const QString tool = stringOf(payload, "tool_name");
        const QJsonObject input = payload.value(QLatin1String("tool_input")).toObject();
        files.activity
            = FileContent { hooks::ApprovalSerialization::generatePreview(tool, input), tool, QString(), now, project };
        if (*type == HookEventType::PostToolUseFailure) {
            const QString error = stringOf(payload, "error");
            files.notice = FileContent { error.isEmpty() ? tool + QStringLiteral(" failed") : error, QString(),
                QStringLiteral("error"), now, project };
        }
        break;
    }
    case HookEventType::StopFailure: {
        const QString error = stringOf(payload, "error");
        files.notice = FileContent { error.isEmpty() ? QStringLiteral("Turn failed") : error, QString(),
            QStringLiteral("error"), now, project };
        break;
    }
    case HookEventType::Notification: {
        const QString kind = stringOf(payload, "notification_type");
        const QString message = stringOf(payload, "message");
        if (kind == QLatin1String("permission_prompt")) {
            files.notice = FileContent { message, QString(), QStringLiteral("permission"), now, project };
        } else if (kind == QLatin1String(idleNotification)) {
            files.notice = FileContent { message, QString(), QStringLiteral("idle"), now, project };
        }
        break;
    }
    default:
        break;
    }
}

void HookEventDispatcher::writeStatus(const hooks::SessionKey& key, const QJsonObject& status)
{
    // Written here, under the session's own key: the status line cannot know it when ids begin alike.
    m_files.writeStatus(key, QJsonDocument(status).toJson(QJsonDocument::Compact));
    // An older status line names the file by the id's first characters, which may be another session's key; what
    // it left there is this session's status on another's row.
    const QString sessionId = hooks::SessionKey::payloadSessionId(status);
    if (const auto named = hooks::SessionKey::ofStatusLine(sessionId); named && *named != key) {
        m_files.removeStatusOf(*named, sessionId);
    }
}

} // namespace murmeli::hooks
