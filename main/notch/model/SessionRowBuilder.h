#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>

#include "main/notch/model/SessionRow.h"
#include "main/hooks/approvals/ApprovalTypes.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptData.h"

/// Turns the registry's sessions into the panel's rows from their statuses. Only the selected session's transcript
/// is followed, so sub-agents and tasks are known for that one alone.
namespace murmeli::notch::SessionRowBuilder {

/// A session's status by its key; nullptr when it has none (no status file, or not read yet).
using StatusLookup = std::function<const hooks::ClaudeStatus*(const hooks::SessionKey& key)>;

/// One row per listed session, in the registry's order, as of now. The transcript is the selected session's.
QList<SessionRow> build(const hooks::SessionRegistry& registry, const StatusLookup& statusOf,
    const hooks::TranscriptData& selectedTranscript, const std::optional<hooks::ApprovalRequest>& activeRequest,
    const QDateTime& now);

/// What a session is doing: waiting for approval before a failure notice, before compacting, before working.
SessionState stateOf(const hooks::SessionSnapshot& session, const hooks::ClaudeStatus& status,
    const hooks::TranscriptData& transcript, bool hasActiveRequest, qint64 nowSecs);

/// The statuses of the given sessions, judged at now; sessions without a status are left out. Blocking file reads:
/// safe on any thread, it touches nothing but its arguments.
QHash<QString, hooks::ClaudeStatus> readStatuses(
    const QStringList& keys, const QString& directory, const QDateTime& now);

} // namespace murmeli::notch::SessionRowBuilder
