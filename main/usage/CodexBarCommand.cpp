#include "main/usage/CodexBarCommand.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

namespace murmeli::usage {

std::optional<QStringList> CodexBarCommand::arguments(const QString& row)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    QStringList words = row.trimmed().split(whiteSpace, Qt::SkipEmptyParts);
    if (words.isEmpty() || words.front() != QLatin1String(toolName)) {
        return std::nullopt;
    }
    words.removeFirst();
    return words;
}

QStringList CodexBarCommand::defaultSearchDirectories()
{
    QStringList directories = qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
    const QString home = QDir::homePath();
    // A desktop session often starts us with a shorter PATH than the user's shell has.
    directories << home + QStringLiteral("/.local/bin") << home + QStringLiteral("/bin")
                << QStringLiteral("/usr/local/bin") << QStringLiteral("/home/linuxbrew/.linuxbrew/bin");
    directories.removeDuplicates();
    return directories;
}

QString CodexBarCommand::locate(const QStringList& directories)
{
    QStringList absolute;
    for (const QString& directory : directories) {
        if (QDir::isAbsolutePath(directory)) {
            absolute << directory;
        }
    }
    // findExecutable() with no folders would search PATH itself, which is not what the caller asked for.
    if (absolute.isEmpty()) {
        return {};
    }
    return QStandardPaths::findExecutable(QLatin1String(toolName), absolute);
}

} // namespace murmeli::usage
