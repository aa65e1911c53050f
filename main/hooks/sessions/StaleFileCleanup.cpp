#include "main/hooks/sessions/StaleFileCleanup.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "main/common/BoundedFile.h"
#include "main/common/OffThread.h"
#include "main/common/TextUtils.h"
#include "main/hooks/sessions/SessionRecord.h"
#include "main/hooks/sessions/StatusFiles.h"
#include "main/hooks/terminals/ProcessDiscovery.h"

namespace murmeli::hooks::StaleFileCleanup {

namespace {

std::optional<QDateTime> modificationTimeOnDisk(const QString& path)
{
    const QFileInfo info(path);
    const QDateTime time = info.exists() ? info.lastModified() : QDateTime();
    return time.isValid() ? std::optional(time) : std::nullopt;
}

// The session whose file the name is, by its exact shape: key and one of the suffixes murmeli and its hooks write. A
// file of the user's that merely begins with a session's key is none of them.
std::optional<SessionKey> sessionOf(const QString& name)
{
    for (const StatusFileKind kind : StatusFiles::allKinds) {
        if (const auto keyText = StatusFiles::keyTextOf(name, kind)) {
            return SessionKey::fromFileKey(*keyText);
        }
    }
    return std::nullopt;
}

} // namespace

Running running(ProcessTable table, const ProcessDirectory& directoryOf)
{
    ProcessDiscovery discovery(ProcessDiscovery::RunCommand {});
    discovery.kernelWorkingDirectory = directoryOf;
    QSet<QString> directories;
    for (const AgentProcess& agent : discovery.discoverIn(table)) {
        // The kernel gives it resolved.
        if (agent.cwd) {
            directories.insert(*agent.cwd);
        }
    }
    return Running { std::move(table), std::move(directories) };
}

SessionFolders sessionDirectoryOnDisk(const QString& statusPath)
{
    const auto bytes = common::BoundedFile::read(statusPath, StatusFiles::maxSessionFileBytes);
    const QJsonObject root = bytes ? QJsonDocument::fromJson(*bytes).object() : QJsonObject();
    const QJsonObject workspace = root.value(QLatin1String("workspace")).toObject();
    const auto folderOf = [](const QJsonValue& value) {
        return value.isString() && value.toString().startsWith(u'/') ? value.toString() : QString();
    };
    SessionFolders folders;
    folders.current = folderOf(workspace.value(QLatin1String("current_dir")));
    if (folders.current.isEmpty()) {
        folders.current = folderOf(root.value(QLatin1String("cwd")));
    }
    folders.project = folderOf(workspace.value(QLatin1String("project_dir")));
    return folders;
}

std::optional<AgentProcessId> recordedAgentOnDisk(const QString& recordPath)
{
    const auto bytes = common::BoundedFile::read(recordPath, StatusFiles::maxSessionFileBytes);
    const QJsonDocument document = bytes ? QJsonDocument::fromJson(*bytes) : QJsonDocument();
    const auto record = document.isObject() ? SessionRecord::fromJson(document.object()) : std::nullopt;
    return record ? record->agent : std::nullopt;
}

QSet<SessionKey> liveKeys(const ProcessTable& table)
{
    QSet<SessionKey> live;
    const QLatin1String marker("--resume ");
    for (const ProcessRow& row : table.rows()) {
        if (!row.command.contains(QLatin1String("claude"))) {
            continue;
        }
        const qsizetype at = row.command.indexOf(marker);
        if (at < 0) {
            continue;
        }
        const QString rest = row.command.mid(at + marker.size());
        const qsizetype end = rest.indexOf(u' ');
        const QString id = end < 0 ? rest : rest.left(end);
        if (common::text::characterCount(id) < SessionKey::length) {
            continue;
        }
        if (const auto key = SessionKey::fromSessionId(id)) {
            live.insert(*key);
        }
    }
    return live;
}

QStringList staleNames(const QStringList& names, const Running& running, const QString& directory,
    const ModificationTime& mtimeOf, const SessionDirectory& sessionDirectoryOf, const RecordedAgent& recordedAgentOf)
{
    const ProcessTable& table = running.table;
    const auto olderThanTable = [&](const QString& name) {
        const auto time = mtimeOf(directory + u'/' + name);
        return time && *time < table.takenAt();
    };
    // Keys that keep their files: the live ones, and those whose status file is as new as the table or newer.
    QSet<SessionKey> kept = liveKeys(table);
    QSet<SessionKey> stale;
    for (const QString& name : names) {
        // Claude Code's status line writes the one, murmeli the other for every session it was told of.
        auto keyText = StatusFiles::keyTextOf(name, StatusFileKind::Status);
        if (!keyText) {
            keyText = StatusFiles::keyTextOf(name, StatusFileKind::Session);
        }
        const auto key = keyText ? SessionKey::fromFileKey(*keyText) : std::nullopt;
        if (!key || kept.contains(*key)) {
            continue;
        }
        const auto agentAt = [&] {
            const QStringList folders = sessionDirectoryOf(directory + u'/' + name).linksFollowed().agentFolders();
            return std::any_of(folders.begin(), folders.end(),
                [&](const QString& folder) { return running.agentDirectories.contains(folder); });
        };
        // An agent murmeli does not know by name, or one that left the session's folder, still holds the session.
        const auto recordedAgentRuns = [&] {
            const auto agent = recordedAgentOf(directory + u'/' + name);
            return agent && agent->isRunning();
        };
        if (olderThanTable(name) && !agentAt() && !recordedAgentRuns()) {
            stale.insert(*key);
        } else {
            kept.insert(*key);
        }
    }
    // A key whose status file and record disagree stays when either says so.
    stale.subtract(kept);
    QStringList doomed;
    for (const QString& name : names) {
        if (const auto key = sessionOf(name); key && stale.contains(*key) && olderThanTable(name)) {
            doomed.append(name);
        }
    }
    return doomed;
}

QCoro::Task<> run(StatusDirectory directory, ProcessTable::AsyncReader readTable, ProcessDirectory processDirectory,
    common::Clock& clock)
{
    const auto listed = directory.open();
    const std::optional<QStringList> names = listed ? listed->fileNames() : std::nullopt;
    if (!names || !readTable) {
        co_return;
    }
    // Without the table every session would look dead; deleting then would destroy live sessions' files.
    const std::optional<ProcessTable> table = co_await readTable();
    // Checked again: the directory may have been replaced while the table was read.
    const auto current = directory.open();
    if (!table || !current) {
        co_return;
    }
    // The folders the sessions' files name may lie on a mount that stopped answering: judged off this thread, on
    // one of the folders' threads rather than the looks', and nothing is deleted where that takes too long.
    std::function<QStringList()> judge = [names = *names, table = *table, processDirectory, path = current->path()] {
        return staleNames(
            names, running(table, processDirectory), path, &modificationTimeOnDisk, &sessionDirectoryOnDisk);
    };
    const QStringList doomed = co_await common::runOffThreadWithin(
        std::move(judge), clock, judgeLimitMs, QStringList(), &common::folderPool());
    const auto still = directory.open();
    for (const QString& name : still ? doomed : QStringList()) {
        still->remove(name);
    }
}

} // namespace murmeli::hooks::StaleFileCleanup
