#include "main/hooks/install/SettingsFileEdit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

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
    if (info.exists()) {
        if (!info.isFile() || info.size() > StatusFiles::maxSettingsBytes) {
            say(QStringLiteral("%1 is not a settings file murmeli can edit; left as it is").arg(settingsPath));
            return Outcome::Refused;
        }
        QFile file(settingsPath);
        if (!file.open(QIODevice::ReadOnly)) {
            say(QStringLiteral("%1 cannot be read: %2; left as it is").arg(settingsPath, file.errorString()));
            return Outcome::Refused;
        }
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
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
    if (edited == settings && info.exists()) {
        say(QStringLiteral("%1 already up to date").arg(settingsPath));
        return Outcome::Unchanged;
    }
    if (edited.isEmpty() && !info.exists()) {
        say(QStringLiteral("%1 does not exist; nothing to remove").arg(settingsPath));
        return Outcome::Unchanged;
    }
    QDir().mkpath(info.absolutePath());
    if (info.exists()) {
        const QString backup = backupPathFor(settingsPath);
        if (!QFile::copy(settingsPath, backup)) {
            say(QStringLiteral("could not back up %1 to %2; nothing changed").arg(settingsPath, backup));
            return Outcome::Failed;
        }
    }
    QSaveFile out(settingsPath);
    const QByteArray bytes = QJsonDocument(edited).toJson(QJsonDocument::Indented);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        say(QStringLiteral("could not write %1: %2").arg(settingsPath, out.errorString()));
        return Outcome::Failed;
    }
    say(QStringLiteral("%1 updated").arg(settingsPath));
    return Outcome::Written;
}

} // namespace murmeli::hooks::SettingsFileEdit
