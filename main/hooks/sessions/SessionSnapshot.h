#pragma once

#include <optional>

#include <QDateTime>
#include <QString>

#include "main/hooks/sessions/SessionFolders.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/terminals/AgentProcessId.h"

namespace murmeli::hooks {

/// One live session in the registry.
struct SessionSnapshot {
    explicit SessionSnapshot(SessionKey key) : sid8(std::move(key)) { }

    SessionKey sid8;
    /// The status file's time; for a session announced by a hook, the announcement time; distantPast() when none.
    QDateTime statusMtime;
    std::optional<QDateTime> activityMtime;
    /// The notification file's time; absent also where it only reminds that the agent waits for input, which is no
    /// activity.
    std::optional<QDateTime> notifyMtime;
    /// When its latest hook event came, whatever the agent: most agents write no status file to tell it.
    std::optional<QDateTime> lastEventAt;
    bool isPendingApproval = false;
    bool inMemoryOnly = false;
    QString adapter;
    QString hookSessionTitle;
    QString hookLastAssistant;
    /// The folders its hook events gave; a status file, where there is one, says more.
    SessionFolders hookFolders;
    /// The agent process its latest hook event came from, where that was running here when the event arrived.
    std::optional<AgentProcessId> hookAgent;
    /// The process that ran its latest hook event where that is not hookAgent: a server that runs the hooks of several
    /// sessions of its agent.
    std::optional<AgentProcessId> hooksProcess;

    /// Earlier than any real file time.
    static QDateTime distantPast();

    /// When it last did something, as its row's age and the list's order tell: its latest event, activity or
    /// notification. A status line runs on its own (Claude Code's every few minutes while idle), so its status time
    /// counts only for a session nothing else has told of.
    QDateTime freshestMtime() const;
    /// The latest sign of it at all, its status line's included.
    QDateTime lastHeardOf() const;
    /// It was heard of within the last two hours.
    bool isActive(const QDateTime& now) const;
    /// "red" while a permission waits, "blue" while a tool runs, else "green".
    QString dotColor(const QDateTime& now) const;

    bool operator==(const SessionSnapshot&) const = default;
};

} // namespace murmeli::hooks
