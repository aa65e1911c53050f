#pragma once

#include <QString>
#include <QStringList>

namespace murmeli::hooks {

/// Where a session works: the folder its agent is in now, and the folder the agent was started for. Either may be
/// empty where nothing has told.
struct SessionFolders {
    QString current;
    QString project;

    bool isEmpty() const { return current.isEmpty() && project.isEmpty(); }

    /// The folders an agent process of this session may run in, the most telling first: the current folder, the
    /// project folder, then each folder between them, nearest the current one first. An agent's shell tool that
    /// changes directory moves the session's current folder, never the agent process itself; nothing above the
    /// project folder counts. Only absolute folders count; each is cleaned as written, without a look at the disk,
    /// and "/" (where every folder lies) is never one. ResolvedFolders gives them with their links followed.
    QStringList agentFolders() const;

    /// A folder as the kernel names it, so that a path through a link matches an agent process's folder. It looks
    /// at the disk, where a folder on a mount that stopped answering blocks for good: never on the main thread.
    static QString resolved(const QString& folder);
    /// Both folders resolved(), where they are absolute; the same warning holds.
    SessionFolders linksFollowed() const;

    bool operator==(const SessionFolders&) const = default;
};

} // namespace murmeli::hooks
