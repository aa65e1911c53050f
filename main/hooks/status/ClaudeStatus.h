#pragma once

#include <optional>

#include <QString>

#include "main/common/Clock.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/sessions/StatusFiles.h"
#include "main/hooks/transcript/TranscriptData.h"

namespace murmeli::hooks {

/// One agent session as its files in the status directory describe it, read anew on every call.
struct ClaudeStatus {
    QString tool = QStringLiteral("claude-code");
    QString sessionId;
    int contextPercent = 0;
    int contextWindowSize = 0;
    int inputTokens = 0;
    int outputTokens = 0;
    int cacheReadTokens = 0;
    QString model;
    QString version;
    double costUSD = 0;
    qint64 totalDurationMs = 0;
    int linesAdded = 0;
    int linesRemoved = 0;
    int rate5h = 0;
    int rate7d = 0;
    QString project;
    QString cwd;
    /// The folder the agent was started for ("workspace"/"project_dir"); cwd may lie below it.
    QString projectDir;
    QString activity;
    QString activityTool;
    bool needsAttention = false;
    bool isIdle = false;
    bool isWorkingSignal = false;
    bool isCompact = false;
    /// A fresh notice of a failure ("error"); its text is pendingMessage.
    bool isError = false;
    QString pendingMessage;
    QString transcriptPath;
    qint64 lastStatusTs = 0;

    static constexpr auto dir = StatusFiles::directory;
    static constexpr qint64 activityExpirySeconds = 10;
    static constexpr qint64 notifyExpirySeconds = 30;
    static constexpr qint64 workingNotifyExpirySeconds = 60;
    static constexpr qint64 transcriptFreshnessSeconds = 5;
    static constexpr qint64 statusFreshnessSeconds = 10;

    /// One session's files (by key) or the global ones (nullopt); nullopt when there is no usable status file.
    /// Activity and notice freshness are judged at the clock's time.
    static std::optional<ClaudeStatus> read(
        const std::optional<QString>& session, const QString& directory, const common::Clock& clock);
    /// As above, judged at now; for readers away from the clock's thread.
    static std::optional<ClaudeStatus> read(
        const std::optional<QString>& session, const QString& directory, const QDateTime& now);
    /// As above, at the system clock's time.
    static std::optional<ClaudeStatus> read(
        const std::optional<QString>& session, const QString& directory = QString::fromLatin1(dir));
    /// As above, judged at now, read on the directory's own thread; nullopt too when it does not answer in time.
    static std::optional<ClaudeStatus> read(
        const std::optional<QString>& session, const StatusDirectory::Access& directory, const QDateTime& now);

    // The predicates below judge freshness at nowSecs, whole seconds since 1970 from the caller's clock.

    /// Busy by its own files: a live activity, a working notice, or a status rewritten within 10 s.
    bool isWorking(qint64 nowSecs) const;
    /// Busy by its files or by its transcript (a tool still running, or an update within 5 s).
    bool isWorkingEffective(const TranscriptData& transcript, qint64 nowSecs) const;

    bool operator==(const ClaudeStatus&) const = default;
};

} // namespace murmeli::hooks
