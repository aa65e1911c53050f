#include "main/settings/SettingsFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "main/common/AtomicFile.h"
#include "main/voice/preferences/AppSettingsLoader.h"

namespace murmeli::settings::SettingsFiles {

namespace {

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Makes path and any missing parent; only the folders made here get 0700, existing ones keep theirs.
void makeFolder(const QString& path)
{
    QStringList missing;
    QString folder = QDir::cleanPath(path);
    while (!folder.isEmpty() && !QFileInfo::exists(folder)) {
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    for (const QString& made : missing) {
        if (!QDir().mkdir(made)) {
            return;
        }
        QFile::setPermissions(made, ownerOnly);
    }
}

} // namespace

QString pttLogDir(const QString& homePath)
{
    return homePath + QStringLiteral("/.murmeli/logs");
}

QString prepareSettingsFile(const QString& homePath)
{
    const QString path = voice::AppSettingsLoader::configPath(homePath);
    if (QFileInfo::exists(path)) {
        return path;
    }
    makeFolder(QFileInfo(path).path());
    common::AtomicFile::write(path, QByteArray(voice::AppSettingsLoader::defaultFileContent));
    return path;
}

QString prepareLogDir(const QString& homePath)
{
    const QString path = pttLogDir(homePath);
    makeFolder(path);
    return path;
}

} // namespace murmeli::settings::SettingsFiles
