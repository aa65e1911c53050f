#include "main/hooks/sessions/StaleFileCleanup.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include "main/common/TextUtils.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks::StaleFileCleanup {

namespace {

std::optional<QDateTime> modificationTimeOnDisk(const QString& path)
{
    const QFileInfo info(path);
    const QDateTime time = info.exists() ? info.lastModified() : QDateTime();
    return time.isValid() ? std::optional(time) : std::nullopt;
}

bool claimedByAny(const QString& name, const QSet<SessionKey>& keys)
{
    return std::any_of(
        keys.begin(), keys.end(), [&](const SessionKey& key) { return name.startsWith(key.text() + u'-'); });
}

} // namespace

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

QStringList staleNames(
    const QStringList& names, const ProcessTable& table, const QString& directory, const ModificationTime& mtimeOf)
{
    const auto olderThanTable = [&](const QString& name) {
        const auto time = mtimeOf(directory + u'/' + name);
        return time && *time < table.takenAt();
    };
    // Keys that keep their files: the live ones, and those whose status file is as new as the table or newer.
    QSet<SessionKey> kept = liveKeys(table);
    QSet<SessionKey> stale;
    for (const QString& name : names) {
        const auto keyText = StatusFiles::keyTextOf(name, StatusFileKind::Status);
        const auto key = keyText ? SessionKey::fromFileKey(*keyText) : std::nullopt;
        if (!key || kept.contains(*key)) {
            continue;
        }
        if (olderThanTable(name)) {
            stale.insert(*key);
        } else {
            kept.insert(*key);
        }
    }
    QStringList doomed;
    for (const QString& name : names) {
        // A stale key that is a prefix of a kept key ("ab" of "ab-cd") must not take the kept session's files.
        if (claimedByAny(name, stale) && !claimedByAny(name, kept) && olderThanTable(name)) {
            doomed.append(name);
        }
    }
    return doomed;
}

QCoro::Task<> run(StatusDirectory directory, ProcessTable::AsyncReader readTable)
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
    for (const QString& name : staleNames(*names, *table, current->path(), &modificationTimeOnDisk)) {
        QFile::remove(current->filePath(name));
    }
}

} // namespace murmeli::hooks::StaleFileCleanup
