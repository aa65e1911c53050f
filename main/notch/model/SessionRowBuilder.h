#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>

#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptData.h"
#include "main/notch/model/SessionRow.h"

/// Turns the registry's sessions into the panel's rows from their statuses. Only the selected session's transcript
/// is followed, so sub-agents and tasks are known for that one alone.
namespace murmeli::notch::SessionRowBuilder {

/// A session's status by its key; nullptr when it has none (no status file, or not read yet).
using StatusLookup = std::function<const hooks::ClaudeStatus*(const hooks::SessionKey& key)>;

/// One row per listed session, in the registry's order, as of now. The transcript is the selected session's;
/// approvals holds, by session, the first request the pending table holds for it.
QList<SessionRow> build(const hooks::SessionRegistry& registry, const StatusLookup& statusOf,
    const hooks::TranscriptData& selectedTranscript, const QHash<QString, PendingApproval>& approvals,
    const QDateTime& now);

/// What a session is doing: waiting for approval before a failure notice, before compacting, before working.
/// Only a request the pending table holds makes it wait for approval: a permission notice in the status files may
/// be one the user has already answered, and would offer buttons that answer nothing.
SessionState stateOf(
    const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript, bool holdsRequest, qint64 nowSecs);

/// The statuses of the given sessions, judged at now; sessions without a status, or whose status the directory did
/// not give within its time limit, are left out. Safe on any thread: it touches nothing but its arguments.
QHash<QString, hooks::ClaudeStatus> readStatuses(
    const QStringList& keys, const hooks::StatusDirectory::Access& directory, const QDateTime& now);

} // namespace murmeli::notch::SessionRowBuilder
