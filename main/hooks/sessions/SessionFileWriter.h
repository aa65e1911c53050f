#pragma once

#include <optional>

#include <QByteArray>
#include <QSet>
#include <QString>

#include "main/common/Log.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SessionRecord.h"
#include "main/hooks/sessions/StatusDirectory.h"

namespace murmeli::hooks {

/// Writes the status, activity, notification, transcript-path and record files of a session into the status directory,
/// and nothing while the directory is unusable. Every file is replaced whole and atomically, so the agents' readers
/// never see half a file.
class SessionFileWriter final {
public:
    /// Failing names remembered for logging, most; further failures go unlogged until one of them succeeds.
    static constexpr qsizetype maxFailingNames = 1024;

    explicit SessionFileWriter(StatusDirectory directory);

    /// One line when a file cannot be written; nothing more for that file until it has been written again.
    common::LogSink onLog;

    /// key + "-activity.json": what the session's tool is doing now.
    bool writeActivity(
        const SessionKey& key, const QString& activity, const QString& tool, qint64 ts, const QString& project);
    /// key + "-notify.json": a notice of type "permission", "idle" or "error".
    bool writeNotify(
        const SessionKey& key, const QString& type, const QString& message, qint64 ts, const QString& project);
    /// key + "-status.json": what the session's status line gave murmeli.
    bool writeStatus(const SessionKey& key, const QByteArray& json);
    /// key + "-session.json": murmeli's record of the session.
    bool writeRecord(const SessionKey& key, const SessionRecord& record);
    /// Deletes key + "-status.json" when it is the status of that session id, and nothing else.
    void removeStatusOf(const SessionKey& key, const QString& sessionId);
    /// key + "-transcript-path.txt": the transcript's path, no line break added; false for an empty path.
    bool writeTranscriptPath(const SessionKey& key, const QString& path);
    /// Empties key + "-notify.json" ("notify.json" without a key); an empty file reads as no notice.
    bool clearNotify(const std::optional<SessionKey>& key);

    /// Whether the session's file of this kind is there; false too when the directory is unusable.
    bool exists(const SessionKey& key, StatusFileKind kind) const;

private:
    bool write(const QString& name, const QByteArray& bytes);

    StatusDirectory m_directory;
    // Names whose last write failed and was logged; a burst of events must not repeat the same line.
    QSet<QString> m_failing;
};

} // namespace murmeli::hooks
