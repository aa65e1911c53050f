#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "main/hooks/sessions/SessionFolders.h"
#include "main/hooks/terminals/AgentProcessId.h"

namespace murmeli::hooks {

/// What murmeli keeps of a session in the session's "-session.json" file, so that after a restart the session is
/// listed again, under the same key, with its agent, its folders and its agent's process, while that agent runs: most
/// agents write no status file. Its folders are named as the status line names them, so the start-up cleanup reads
/// both alike.
struct SessionRecord {
    QString sessionId;
    QString adapter;
    SessionFolders folders;
    /// When its latest hook event came.
    std::optional<QDateTime> lastEvent;
    /// The process its hook events came from, so that a restart still jumps to that agent's own terminal and ends the
    /// session once the process is gone.
    std::optional<AgentProcessId> agent;
    /// The server without a terminal that ran its hooks, where that is not its agent: which sessions share one tells,
    /// after a restart too, what is left for each.
    std::optional<AgentProcessId> hooksProcess {};
    /// The windows that could have been its own, where that server's look saw them: one gone ends the session only
    /// when it had one, after a restart too.
    std::vector<AgentProcessId> windows {};

    QByteArray toJson() const;
    /// nullopt unless the object names a session id.
    static std::optional<SessionRecord> fromJson(const QJsonObject& object);

    bool operator==(const SessionRecord&) const = default;
};

} // namespace murmeli::hooks
