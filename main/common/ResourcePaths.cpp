#include "main/common/ResourcePaths.h"

#include <QDir>
#include <QFileInfo>

namespace murmeli::common {

namespace {

struct FolderNames {
    const char* inSourceTree;
    const char* installed;
};

FolderNames namesOf(ResourceFolder folder)
{
    switch (folder) {
    case ResourceFolder::Scripts:
        return { "Resources/scripts", "share/murmeli/scripts" };
    case ResourceFolder::Sounds:
        return { "HookSounds", "share/murmeli/HookSounds" };
    case ResourceFolder::Fonts:
        return { "fonts", "share/murmeli/fonts" };
    case ResourceFolder::Speech:
        return { "Resources/speech", "share/murmeli/speech" };
    }
    return { "Resources/scripts", "share/murmeli/scripts" };
}

} // namespace

QStringList resourceFolderCandidates(const QString& executablePath, ResourceFolder folder)
{
    const FolderNames names = namesOf(folder);
    const QString resolved = QFileInfo(executablePath).canonicalFilePath();
    const QDir dir = QFileInfo(resolved.isEmpty() ? executablePath : resolved).absoluteDir();
    QStringList candidates;
    // <root>/build/main/app/murmeli: three directories up is the source root.
    QDir sourceRoot = dir;
    if (sourceRoot.cdUp() && sourceRoot.cdUp() && sourceRoot.cdUp()) {
        candidates << sourceRoot.absoluteFilePath(QString::fromLatin1(names.inSourceTree));
    }
    // <prefix>/bin/murmeli: the files under <prefix>/share/murmeli.
    QDir prefix = dir;
    if (prefix.cdUp()) {
        candidates << prefix.absoluteFilePath(QString::fromLatin1(names.installed));
    }
    return candidates;
}

std::optional<QString> findResourceFolder(const QString& executablePath, ResourceFolder folder)
{
    for (const QString& candidate : resourceFolderCandidates(executablePath, folder)) {
        if (QFileInfo(candidate).isDir()) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::common
