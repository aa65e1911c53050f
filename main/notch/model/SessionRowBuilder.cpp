#include "main/notch/model/SessionRowBuilder.h"

#include "main/common/TextUtils.h"
#include "main/notch/model/SessionRowDisplay.h"

namespace murmeli::notch::SessionRowBuilder {

namespace {

ActiveTaskInfo::Status taskStatusOf(const QString& status)
{
    if (status == QLatin1String("in_progress")) {
        return ActiveTaskInfo::Status::InProgress;
    }
    if (status == QLatin1String("completed")) {
        return ActiveTaskInfo::Status::Completed;
    }
    return ActiveTaskInfo::Status::Pending;
}

std::optional<QString> unlessEmpty(const QString& text)
{
    return text.isEmpty() ? std::nullopt : std::optional(text);
}

QList<SubagentInfo> subagentsOf(const hooks::TranscriptData& transcript)
{
    QList<SubagentInfo> agents;
    agents.reserve(transcript.agents.size());
    for (const hooks::TranscriptAgent& agent : transcript.agents) {
        agents.append(SubagentInfo { agent.id, unlessEmpty(agent.type), std::nullopt, std::nullopt, std::nullopt });
    }
    return agents;
}

QList<ActiveTaskInfo> tasksOf(const hooks::TranscriptData& transcript)
{
    QList<ActiveTaskInfo> tasks;
    tasks.reserve(transcript.todos.size());
    // The list is replaced whole on every update and has no ids of its own; a position names an entry.
    for (qsizetype i = 0; i < transcript.todos.size(); ++i) {
        const hooks::TranscriptTodo& todo = transcript.todos[i];
        tasks.append(ActiveTaskInfo { QString::number(i), todo.content, taskStatusOf(todo.status) });
    }
    return tasks;
}

SessionRow rowOf(const hooks::SessionSnapshot& session, const hooks::ClaudeStatus* status,
    const hooks::TranscriptData& transcript, const PendingApproval* approval, const QDateTime& now)
{
    // A session known only from its hooks has no status file; it reads as an empty status.
    const hooks::ClaudeStatus known = status ? *status : hooks::ClaudeStatus {};
    SessionRow row;
    row.sid = session.sid8.text();
    // Only Claude Code's status line writes a status file; every agent's hook events tell where it works. The row is
    // named by the folder the session was started for: its shell tool changing directory moves the agent's current
    // folder, not the session, and must not give two sessions the same name.
    const QString cwd = known.cwd.isEmpty() ? session.hookFolders.current : known.cwd;
    const QString project = known.cwd.isEmpty() ? session.hookFolders.project : known.projectDir;
    row.projectName = common::text::lastPathComponent(project.isEmpty() ? cwd : project);
    row.state = stateOf(known, transcript, approval != nullptr, now.toSecsSinceEpoch());
    // What a session last did names the tool, which for most tools is all it says.
    row.activity = common::text::visible(known.activity, common::text::Breaks::Escape);
    row.updatedAt = session.freshestMtime();

    const QList<hooks::TranscriptTool> running = transcript.runningTools();
    if (approval) {
        row.currentToolName = approval->toolName;
        row.currentCommandPreview = approval->commandPreview;
        row.approval = *approval;
    } else if (!known.activityTool.isEmpty()) {
        row.currentToolName = known.activityTool;
    } else if (!running.isEmpty()) {
        row.currentToolName = running.last().name;
        row.currentCommandPreview = running.last().target;
    }

    row.subagents = subagentsOf(transcript);
    row.activeTasks = tasksOf(transcript);
    row.spotlightHeadlineText
        = session.hookSessionTitle.isEmpty() ? transcript.sessionName.value_or(QString()) : session.hookSessionTitle;
    row.spotlightAnswerLineText = unlessEmpty(session.hookLastAssistant);
    row.isRemote = sessionRowIsRemote(cwd);
    row.ageBadge = sessionRowAgeBadge(row.updatedAt, now);
    row.sessionCtxPercent = status ? known.contextPercent : -1;
    row.sessionModelName = known.model;
    row.sessionAgentName = session.adapter;
    return row;
}

} // namespace

SessionState stateOf(
    const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript, bool holdsRequest, qint64 nowSecs)
{
    if (holdsRequest) {
        return SessionState::needsApproval();
    }
    if (status.isError) {
        return SessionState::error(status.pendingMessage);
    }
    if (status.isCompact) {
        return SessionState::compacting();
    }
    if (status.isWorkingEffective(transcript, nowSecs)) {
        return SessionState::working();
    }
    return SessionState::idle();
}

QList<SessionRow> build(const hooks::SessionRegistry& registry, const StatusLookup& statusOf,
    const hooks::TranscriptData& selectedTranscript, const QHash<QString, PendingApproval>& approvals,
    const QDateTime& now)
{
    const std::optional<hooks::SessionKey> selected = registry.selectedSid();
    const hooks::TranscriptData noTranscript;
    QList<SessionRow> rows;
    rows.reserve(static_cast<qsizetype>(registry.sessions().size()));
    for (const hooks::SessionSnapshot& session : registry.sessions()) {
        const bool isSelected = session.sid8 == selected;
        const auto approval = approvals.constFind(session.sid8.text());
        SessionRow row = rowOf(session, statusOf(session.sid8), isSelected ? selectedTranscript : noTranscript,
            approval == approvals.cend() ? nullptr : &*approval, now);
        row.isActive = isSelected;
        rows.append(std::move(row));
    }
    return rows;
}

QHash<QString, hooks::ClaudeStatus> readStatuses(
    const QStringList& keys, const hooks::StatusDirectory::Access& directory, const QDateTime& now)
{
    QHash<QString, hooks::ClaudeStatus> statuses;
    statuses.reserve(keys.size());
    for (const QString& key : keys) {
        if (std::optional<hooks::ClaudeStatus> status = hooks::ClaudeStatus::read(key, directory, now)) {
            statuses.insert(key, std::move(*status));
        }
    }
    return statuses;
}

} // namespace murmeli::notch::SessionRowBuilder
