#include "main/usage/CodexBarCommand.h"

#include <utility>

#include <QDir>
#include <QStandardPaths>

namespace murmeli::usage {

std::optional<QStringList> CodexBarCommand::arguments(const QString& row)
{
    // Split by hand rather than with one shared regular expression: the gate runs on the reader's thread, on pool
    // threads and on the main thread at once.
    QStringList words;
    QString word;
    for (const QChar c : row) {
        if (!c.isSpace()) {
            word.append(c);
        } else if (!word.isEmpty()) {
            words.append(std::exchange(word, QString()));
        }
    }
    if (!word.isEmpty()) {
        words.append(word);
    }
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
