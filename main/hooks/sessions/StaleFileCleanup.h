#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/hooks/sessions/SessionFolders.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/terminals/AgentProcessId.h"
#include "main/hooks/terminals/ProcessTable.h"

namespace murmeli::hooks {

/// At start-up, removes the files of sessions of earlier runs whose agents are gone, so the registry does not list
/// them again. A session counts as running when some process's command line contains "claude" and resumes it
/// ("--resume <id>", the key being the id's first 8 characters), when an agent of any kind runs where its status
/// file or murmeli's record of it says it works (SessionFolders::agentFolders(), links followed): most agents are
/// started without
/// --resume, and their sessions are as alive; or when the agent process its record names still runs, whatever its
/// name and folder.
namespace StaleFileCleanup {

/// A file's modification time; nullopt when it cannot be read.
using ModificationTime = std::function<std::optional<QDateTime>(const QString& path)>;
/// The folders a session's status file names; empty when it names none or cannot be read.
using SessionDirectory = std::function<SessionFolders(const QString& statusPath)>;
/// A process's working directory; nullopt when it cannot be read.
using ProcessDirectory = std::function<std::optional<QString>(const QString& pid)>;
/// The agent process a session's record names; nullopt when it names none or cannot be read.
using RecordedAgent = std::function<std::optional<AgentProcessId>(const QString& recordPath)>;

/// What tells a running session from a finished one, from one process listing.
struct Running {
    ProcessTable table;
    /// The working directories of the agent processes of the table, resolved.
    QSet<QString> agentDirectories;
};

/// The table with the working directories of its agents, each asked of directoryOf.
Running running(ProcessTable table, const ProcessDirectory& directoryOf);

/// The folders a status file or record on disk names: the current one is "workspace.current_dir", else "cwd"; the
/// project one "workspace.project_dir".
SessionFolders sessionDirectoryOnDisk(const QString& statusPath);

/// The agent process murmeli's record of a session names.
std::optional<AgentProcessId> recordedAgentOnDisk(const QString& recordPath);

/// The keys of the agents in the table that run with "--resume <id>" and an id of at least 8 characters.
QSet<SessionKey> liveKeys(const ProcessTable& table);

/// The names to delete: the session files (a key and one of their suffixes, nothing else) of stale keys that are
/// older than the table. A stale key has a status file or a record, is not live, no agent runs in its
/// folder, the agent process its record names has gone, and that file is older than the table: a session that
/// started, or wrote again, after the listing was taken is never judged by it.
QStringList staleNames(const QStringList& names, const Running& running, const QString& directory,
    const ModificationTime& mtimeOf, const SessionDirectory& sessionDirectoryOf,
    const RecordedAgent& recordedAgentOf = &recordedAgentOnDisk);

/// How long the stale names may take to judge, off the main thread, before nothing is deleted.
constexpr qint64 judgeLimitMs = 5000;

/// Lists the directory (nothing happens when it is unusable or cannot be listed, and no table is read), reads the
/// table without blocking (nothing is deleted without one), judges the stale names off this thread within
/// judgeLimitMs on clock, then, when the directory is still usable, deletes them. Owns copies of what it uses, so its
/// caller may go away meanwhile; the clock must outlive it.
QCoro::Task<> run(StatusDirectory directory, ProcessTable::AsyncReader readTable, ProcessDirectory processDirectory,
    common::Clock& clock);

} // namespace StaleFileCleanup

} // namespace murmeli::hooks
