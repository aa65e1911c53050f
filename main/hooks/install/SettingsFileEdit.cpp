#include "main/hooks/install/SettingsFileEdit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks::SettingsFileEdit {

namespace {

// Installs running at once can start in the same millisecond: the process id keeps their backups apart, and the
// counter two edits of one process.
QString backupPathFor(const QString& settingsPath)
{
    const QString stem = settingsPath + QStringLiteral(".murmeli-backup-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + QLatin1Char('-')
        + QString::number(QCoreApplication::applicationPid());
    QString candidate = stem;
    for (int n = 2; QFileInfo::exists(candidate); ++n) {
        candidate = stem + QLatin1Char('-') + QString::number(n);
    }
    return candidate;
}

} // namespace

Outcome edit(const QString& settingsPath, const Edit& edit, QString* message)
{
    const auto say = [message](const QString& text) {
        if (message) {
            *message = text;
        }
    };
    QJsonObject settings;
    const QFileInfo info(settingsPath);
    common::BoundedFile file(settingsPath);
    const bool exists = file.problem() != common::FileProblem::Missing;
    if (exists) {
        const std::optional<QByteArray> bytes = file.readAll(StatusFiles::maxSettingsBytes);
        if (file.problem() == common::FileProblem::NotRegularFile || file.problem() == common::FileProblem::TooLarge) {
            say(QStringLiteral("%1 is not a settings file murmeli can edit; left as it is").arg(settingsPath));
            return Outcome::Refused;
        }
        if (!bytes) {
            say(QStringLiteral("%1 cannot be read: %2; left as it is").arg(settingsPath, file.errorText()));
            return Outcome::Refused;
        }
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            say(QStringLiteral("%1 is not valid JSON (%2); fix it first, it was left as it is")
                    .arg(settingsPath,
                        error.error != QJsonParseError::NoError ? error.errorString()
                                                                : QStringLiteral("not an object")));
            return Outcome::Refused;
        }
        settings = doc.object();
    }
    const QJsonObject edited = edit(settings);
    if (edited == settings && exists) {
        say(QStringLiteral("%1 already up to date").arg(settingsPath));
        return Outcome::Unchanged;
    }
    if (edited.isEmpty() && !exists) {
        say(QStringLiteral("%1 does not exist; nothing to remove").arg(settingsPath));
        return Outcome::Unchanged;
    }
    QDir().mkpath(info.absolutePath());
    if (exists) {
        const QString backup = backupPathFor(settingsPath);
        if (!QFile::copy(settingsPath, backup)) {
            say(QStringLiteral("could not back up %1 to %2; nothing changed").arg(settingsPath, backup));
            return Outcome::Failed;
        }
    }
    QString problem;
    if (!common::AtomicFile::write(settingsPath, QJsonDocument(edited).toJson(QJsonDocument::Indented), {}, &problem)) {
        say(QStringLiteral("could not write %1: %2").arg(settingsPath, problem));
        return Outcome::Failed;
    }
    say(QStringLiteral("%1 updated").arg(settingsPath));
    return Outcome::Written;
}

} // namespace murmeli::hooks::SettingsFileEdit
