#include "main/ui/design/FontFolder.h"

#include <QDir>
#include <QFontDatabase>

namespace murmeli::ui {

FontRegistration registerFontFolder(const QString& folder)
{
    FontRegistration result;
    const QStringList files = QDir(folder).entryList(
        { QStringLiteral("*.woff2"), QStringLiteral("*.woff"), QStringLiteral("*.otf"), QStringLiteral("*.ttf") },
        QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : files) {
        const QString path = QDir(folder).filePath(name);
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) {
            result.failedFiles << path;
            continue;
        }
        ++result.registeredFiles;
        // A file of one weight also names a family of its own ("Fraunces Medium") after the family it belongs to;
        // the database files it under both, and the first is the one to report.
        result.families << QFontDatabase::applicationFontFamilies(id).value(0);
    }
    result.families.removeDuplicates();
    result.families.sort();
    return result;
}

} // namespace murmeli::ui
