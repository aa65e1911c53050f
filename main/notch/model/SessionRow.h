#pragma once

#include <optional>

#include <QDateTime>
#include <QList>
#include <QString>

#include "main/notch/model/SessionState.h"

namespace murmeli::notch {

/// A sub-agent that a session started.
struct SubagentInfo final {
    QString agentID;
    std::optional<QString> agentType;
    std::optional<QString> taskDescription;
    std::optional<QDateTime> startedAt;
    /// Present once the sub-agent has finished.
    std::optional<QString> summary;

    friend bool operator==(const SubagentInfo&, const SubagentInfo&) = default;
};

/// One entry of a session's task list.
struct ActiveTaskInfo final {
    enum class Status { Pending, InProgress, Completed };

    QString id;
    QString title;
    Status status = Status::Pending;

    friend bool operator==(const ActiveTaskInfo&, const ActiveTaskInfo&) = default;
};

/// "pending", "inProgress" or "completed".
QString toString(ActiveTaskInfo::Status status);

/// A permission request held for a session: what its approval card shows, and the request its buttons answer.
struct PendingApproval final {
    QString toolUseId;
    QString toolName;
    /// The short one-line preview the device and the logs use.
    QString commandPreview;
    /// What "Yes" allows, written out in full: the command itself, or the fields of the tool's input that say what
    /// it touches. Only an input too large to lay out loses its middle, and says so in place.
    QString detail;
    /// Characters of the input left out of detail's middle; 0 when detail is whole.
    qsizetype omittedCharacters = 0;
    /// When the request goes to the agent's own prompt unanswered, on the clock's continuous scale; only the request
    /// whose time runs has one: the others wait in line and their time starts when they reach the head.
    std::optional<qint64> failsOpenAtMs {};

    friend bool operator==(const PendingApproval&, const PendingApproval&) = default;
};

/// One agent session as the panel and the device's session pages show it. Texts that a session does not have are
/// empty; the optional ones are absent.
struct SessionRow final {
    /// The session key: the row's identity everywhere in the panel.
    QString sid;
    QString projectName;
    SessionState state;
    QString activity;
    QDateTime updatedAt;
    /// The tool waiting for permission or running.
    QString currentToolName;
    /// A one-line preview of that tool call.
    QString currentCommandPreview;
    QList<SubagentInfo> subagents;
    QList<ActiveTaskInfo> activeTasks;
    QString spotlightHeadlineText;
    std::optional<QString> spotlightPromptLineText;
    std::optional<QString> spotlightActivityLineText;
    std::optional<QString> spotlightAnswerLineText;
    QString toolDisplayName;
    /// The session's working directory is on another machine.
    bool isRemote = false;
    /// Short name of the terminal the session runs in.
    std::optional<QString> terminalBadge;
    /// What the last jump to the session's terminal ran into, for a few seconds after it; absent after a jump that
    /// got there.
    std::optional<QString> jumpNotice;
    QString ageBadge;
    /// Context use in per cent; negative when unknown.
    int sessionCtxPercent = -1;
    QString sessionModelName;
    QString sessionAgentName;
    /// The session selected in the registry: the panel's active session.
    bool isActive = false;
    /// The first request the pending table holds for the session; absent when none is held, and then the row
    /// offers no approval buttons whatever its status files say.
    std::optional<PendingApproval> approval;

    friend bool operator==(const SessionRow&, const SessionRow&) = default;
};

} // namespace murmeli::notch
