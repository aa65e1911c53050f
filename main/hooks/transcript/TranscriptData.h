#pragma once

#include <optional>
#include <utility>

#include <QList>
#include <QString>

namespace murmeli::hooks {

/// One tool call seen in a transcript.
struct TranscriptTool {
    QString id;
    QString name;
    /// Short display target taken from the tool's input; may be empty.
    QString target;
    /// "running" until its result arrives, then "completed" or "error".
    QString status;

    bool operator==(const TranscriptTool&) const = default;
};

/// One entry of the agent's to-do list.
struct TranscriptTodo {
    QString content;
    QString status = QStringLiteral("pending");

    bool operator==(const TranscriptTodo&) const = default;
};

/// A sub-agent started by the session.
struct TranscriptAgent {
    QString id;
    QString type;
    /// "running" or "completed".
    QString status;

    bool operator==(const TranscriptAgent&) const = default;
};

/// What the session's transcript says about it.
struct TranscriptData {
    /// Tool calls in transcript order, the most recent at most.
    QList<TranscriptTool> tools;
    /// Sub-agent starts in transcript order, the most recent at most.
    QList<TranscriptAgent> agents;
    /// The list of the latest to-do update.
    QList<TranscriptTodo> todos;
    std::optional<QString> sessionName;
    /// Whole seconds since 1970 of the file's last change, as the last read that found new bytes saw it; 0 when
    /// never. Taken from the file rather than the clock, so that reading an old transcript is not news.
    qint64 lastUpdateTs = 0;
    /// The last non-empty text the assistant wrote, whole.
    QString lastAssistantText;

    /// The tools still waiting for their result, in order.
    QList<TranscriptTool> runningTools() const;
    int runningAgentCount() const;
    /// Finished calls ("completed" or "error") per tool name, largest count first.
    QList<std::pair<QString, int>> completedToolCounts() const;
    /// "done/total", followed by the start of the first task in progress when there is one; empty without todos.
    QString todoSummary() const;

    bool operator==(const TranscriptData&) const = default;
};

} // namespace murmeli::hooks
