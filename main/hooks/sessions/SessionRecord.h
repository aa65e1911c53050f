#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "main/hooks/sessions/SessionFolders.h"

namespace murmeli::hooks {

/// What murmeli keeps of a session in the session's "-session.json" file, so that after a restart the session is
/// listed again, under the same key, with its agent and its folders, while that agent runs: most agents write no
/// status file. Its folders are named as the status line names them, so the start-up cleanup reads both alike.
struct SessionRecord {
    QString sessionId;
    QString adapter;
    SessionFolders folders;
    /// When its latest hook event came.
    std::optional<QDateTime> lastEvent;

    QByteArray toJson() const;
    /// nullopt unless the object names a session id.
    static std::optional<SessionRecord> fromJson(const QJsonObject& object);

    bool operator==(const SessionRecord&) const = default;
};

} // namespace murmeli::hooks
