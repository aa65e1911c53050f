#pragma once

#include <QByteArray>
#include <QString>

#include "main/hooks/sessions/StatusDirectory.h"

namespace murmeli::hooks {

/// Writes the activity, notification and transcript-path files of a session into the status directory. Every
/// file is replaced whole and atomically, so the agents' readers never see half a file.
class SessionFileWriter final {
public:
    explicit SessionFileWriter(StatusDirectory directory);

    /// key + "-activity.json": what the session's tool is doing now.
    bool writeActivity(
        const QString& key, const QString& activity, const QString& tool, qint64 ts, const QString& project) const;
    /// key + "-notify.json": a notice of type "permission", "idle" or "error".
    bool writeNotify(
        const QString& key, const QString& type, const QString& message, qint64 ts, const QString& project) const;
    /// key + "-transcript-path.txt": the transcript's path, no line break added.
    bool writeTranscriptPath(const QString& key, const QString& path) const;
    /// Empties key + "-notify.json" ("notify.json" for an empty key); an empty file reads as no notice.
    bool clearNotify(const QString& key) const;

    const StatusDirectory& directory() const { return m_directory; }

private:
    bool write(const QString& name, const QByteArray& bytes) const;

    StatusDirectory m_directory;
};

} // namespace murmeli::hooks
