#include "main/hooks/install/SettingsFileEdit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks::SettingsFileEdit {

namespace {

const QString backupInfix = QStringLiteral(".murmeli-backup-");
const QByteArray byteOrderMark = "\xEF\xBB\xBF";

// Installs running at once can start in the same millisecond: the process id keeps their backups apart, and the
// counter two edits of one process. The names sort by their time.
QString backupPathFor(const QString& settingsPath)
{
    const QString stem = settingsPath + backupInfix
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + QLatin1Char('-')
        + QString::number(QCoreApplication::applicationPid());
    QString candidate = stem;
    for (int n = 2; QFileInfo::exists(candidate); ++n) {
        candidate = stem + QLatin1Char('-') + QString::number(n);
    }
    return candidate;
}

QStringList backupsOf(const QString& settingsPath)
{
    const QFileInfo info(settingsPath);
    QStringList names = QDir(info.absolutePath())
                            .entryList({ info.fileName() + backupInfix + QLatin1Char('*') },
                                QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (QString& name : names) {
        name = info.absolutePath() + QLatin1Char('/') + name;
    }
    return names;
}

// The backup just made stays whatever its name says: a clock set back since the others were made names it older.
void dropOldBackups(const QString& settingsPath, const QString& justMade)
{
    QStringList backups = backupsOf(settingsPath);
    const qsizetype keep = backups.removeOne(justMade) ? maxBackups - 1 : maxBackups;
    for (qsizetype i = 0; i + keep < backups.size(); ++i) {
        QFile::remove(backups.at(i));
    }
}

// Taking murmeli out again gives back the file as the user last wrote it, layout and all, when a backup holds the
// same values; an empty list or object that murmeli's entries had filled and its removal took away comes back too.
QByteArray writtenBack(const QString& settingsPath, const JsonText& edited, const QByteArray& laidOut)
{
    const QStringList backups = backupsOf(settingsPath);
    for (auto it = backups.crbegin(); it != backups.crend(); ++it) {
        const std::optional<QByteArray> bytes = common::BoundedFile::read(*it, StatusFiles::maxSettingsBytes);
        const std::optional<JsonText> value = bytes ? JsonText::parse(*bytes) : std::nullopt;
        if (value && value->sameIgnoringEmptyMembers(edited)) {
            return *bytes;
        }
    }
    return laidOut;
}

// The folders mkpath() would create for the file, outermost first, and the nearest one that exists.
QStringList missingFolders(const QString& settingsPath, QString* existing)
{
    QStringList missing;
    QString folder = QFileInfo(settingsPath).absolutePath();
    while (!QFileInfo(folder).exists() && folder != QFileInfo(folder).absolutePath()) {
        missing.prepend(folder);
        folder = QFileInfo(folder).absolutePath();
    }
    *existing = folder;
    return missing;
}

} // namespace

Outcome edit(const QString& settingsPath, const Edit& edit, QString* message, const InstallRecord& record)
{
    const auto say = [message](const QString& text) {
        if (message) {
            *message = text;
        }
    };
    const QString left = QStringLiteral("; it was left as it is");
    std::optional<JsonText> settings = JsonText::object();
    QByteArray bytes;
    common::BoundedFile file(settingsPath);
    const bool exists = file.problem() != common::FileProblem::Missing;
    if (exists) {
        const std::optional<QByteArray> read = file.readAll(StatusFiles::maxSettingsBytes);
        if (file.problem() == common::FileProblem::NotRegularFile || file.problem() == common::FileProblem::TooLarge) {
            say(QStringLiteral("%1 is not a settings file murmeli can edit").arg(settingsPath) + left);
            return Outcome::Refused;
        }
        if (!read) {
            say(QStringLiteral("%1 cannot be read: %2").arg(settingsPath, file.errorText()) + left);
            return Outcome::Refused;
        }
        bytes = *read;
        QString problem;
        settings = JsonText::parse(bytes, &problem);
        if (!settings || !settings->isObject()) {
            say(QStringLiteral("%1 is not valid JSON (%2); fix it first")
                    .arg(settingsPath, settings ? QStringLiteral("not an object") : problem)
                + left);
            return Outcome::Refused;
        }
    }
    JsonText edited = *settings;
    QString problem;
    if (!edit(edited, &problem)) {
        say(QStringLiteral("%1: %2").arg(settingsPath, problem) + left);
        return Outcome::Refused;
    }
    const bool createdByUs = exists && record.contains(settingsPath);
    const bool removes = createdByUs && edited.keys().isEmpty();
    if (!exists && edited.keys().isEmpty()) {
        say(QStringLiteral("%1 does not exist; nothing to remove").arg(settingsPath));
        return Outcome::Unchanged;
    }
    const QByteArray text = writtenBack(settingsPath, edited,
        (bytes.startsWith(byteOrderMark) ? byteOrderMark : QByteArray()) + edited.toText()
            + (bytes.endsWith('\n') || !exists ? "\n" : ""));
    if (exists && !removes && edited == *settings) {
        say(QStringLiteral("%1 already up to date").arg(settingsPath));
        return Outcome::Unchanged;
    }

    // Nothing is created or backed up before it is clear that the file may be written.
    QString nearest;
    const QStringList folders = missingFolders(settingsPath, &nearest);
    if (!common::AtomicFile::mayWrite(
            folders.isEmpty() ? settingsPath : nearest + QStringLiteral("/new"), {}, &problem)) {
        say(QStringLiteral("%1 cannot be written: %2").arg(settingsPath, problem) + left);
        return Outcome::Refused;
    }
    if (removes) {
        if (!QFile::remove(settingsPath)) {
            say(QStringLiteral("could not remove %1").arg(settingsPath));
            return Outcome::Failed;
        }
        // Backups of a file murmeli created hold nothing of the user's that the file did not.
        for (const QString& backup : backupsOf(settingsPath)) {
            QFile::remove(backup);
        }
        record.remove(settingsPath);
        say(QStringLiteral("%1 removed; murmeli had created it and nothing else was in it").arg(settingsPath));
        return Outcome::Written;
    }
    if (!folders.isEmpty() && !QDir().mkpath(QFileInfo(settingsPath).absolutePath())) {
        say(QStringLiteral("could not create %1").arg(QFileInfo(settingsPath).absolutePath()));
        return Outcome::Failed;
    }
    QString backup;
    if (exists) {
        backup = backupPathFor(settingsPath);
        if (!QFile::copy(settingsPath, backup)) {
            say(QStringLiteral("could not back up %1 to %2; nothing changed").arg(settingsPath, backup));
            return Outcome::Failed;
        }
    }
    if (!common::AtomicFile::write(settingsPath, text, {}, &problem)) {
        if (!backup.isEmpty()) {
            QFile::remove(backup);
        }
        for (auto it = folders.crbegin(); it != folders.crend(); ++it) {
            QDir().rmdir(*it);
        }
        say(QStringLiteral("could not write %1: %2; nothing changed").arg(settingsPath, problem));
        return Outcome::Failed;
    }
    if (!exists) {
        record.add(folders + QStringList { settingsPath });
    }
    dropOldBackups(settingsPath, backup);
    say(QStringLiteral("%1 updated").arg(settingsPath));
    return Outcome::Written;
}

} // namespace murmeli::hooks::SettingsFileEdit
