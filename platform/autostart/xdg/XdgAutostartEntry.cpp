#include "platform/autostart/xdg/XdgAutostartEntry.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "main/common/AtomicFile.h"
#include "main/common/BoundedFile.h"

namespace murmeli::platform {

namespace {

// The note holds one path.
constexpr qint64 maxNoteBytes = 8192;

// Characters that make an Exec argument need quoting, by the desktop entry format.
const QString reservedCharacters = QStringLiteral(" \t\"'\\><~|&;$*?#()`");

std::optional<QString> execArgument(const QString& path)
{
    for (const QChar c : path) {
        if (c.category() == QChar::Other_Control) {
            return std::nullopt;
        }
    }
    const bool needsQuotes
        = std::any_of(path.begin(), path.end(), [](QChar c) { return reservedCharacters.contains(c); });
    QString argument = path;
    if (needsQuotes) {
        QString quoted;
        for (const QChar c : path) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
                quoted += QLatin1Char('\\');
            }
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    // The entry's string values escape their own backslashes once more.
    argument.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    // Exec gives "%" a meaning of its own.
    argument.replace(QLatin1Char('%'), QLatin1String("%%"));
    return argument;
}

QString configHome()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) {
        config = QDir::homePath() + QStringLiteral("/.config");
    }
    return config;
}

} // namespace

XdgAutostartEntry::XdgAutostartEntry(QString directory, QString executablePath, QString madeNote)
    : m_directory(std::move(directory)), m_executablePath(std::move(executablePath)), m_madeNote(std::move(madeNote))
{
}

QString XdgAutostartEntry::standardDirectory()
{
    return configHome() + QStringLiteral("/autostart");
}

QString XdgAutostartEntry::standardMadeNote()
{
    return configHome() + QStringLiteral("/murmeli/autostart-folder-made");
}

QString XdgAutostartEntry::filePath() const
{
    return m_directory + QLatin1Char('/') + QLatin1String(fileName);
}

std::optional<QByteArray> XdgAutostartEntry::entryText(const QString& executablePath)
{
    const std::optional<QString> exec = execArgument(executablePath);
    if (!exec) {
        return std::nullopt;
    }
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=murmeli\n"
                                        "Comment=A desktop companion for AI coding agents\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(*exec);
    return text.toUtf8();
}

bool XdgAutostartEntry::isEnabled() const
{
    return QFileInfo(filePath()).isFile();
}

std::optional<QString> XdgAutostartEntry::setEnabled(bool enabled)
{
    return enabled ? write() : remove();
}

std::optional<QString> XdgAutostartEntry::write()
{
    if (m_executablePath.isEmpty()) {
        return QStringLiteral("murmeli does not know where its own program lies");
    }
    const std::optional<QByteArray> text = entryText(m_executablePath);
    if (!text) {
        return QStringLiteral("the program's path %1 cannot be written into an autostart entry").arg(m_executablePath);
    }
    const bool made = !QFileInfo::exists(m_directory);
    if (!QDir().mkpath(m_directory)) {
        return QStringLiteral("could not create the folder %1").arg(m_directory);
    }
    // The desktop's own folder: murmeli may take it away again only if it made it. Without the note it stays.
    if (made && !m_madeNote.isEmpty()) {
        QDir().mkpath(QFileInfo(m_madeNote).absolutePath());
        common::AtomicFile::write(m_madeNote, QFile::encodeName(m_directory) + '\n', {}, nullptr);
    }
    if (QString problem; !common::AtomicFile::write(filePath(), *text, {}, &problem)) {
        return QStringLiteral("could not write %1: %2").arg(filePath(), problem);
    }
    return std::nullopt;
}

std::optional<QString> XdgAutostartEntry::remove()
{
    QFile file(filePath());
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.remove()) {
        return QStringLiteral("could not remove %1: %2").arg(filePath(), file.errorString());
    }
    if (!m_madeNote.isEmpty()
        && common::BoundedFile::read(m_madeNote, maxNoteBytes) == QFile::encodeName(m_directory) + '\n') {
        // rmdir takes only an empty folder: whatever else the user put there keeps it.
        if (QDir().rmdir(m_directory)) {
            QFile::remove(m_madeNote);
        }
    }
    return std::nullopt;
}

} // namespace murmeli::platform
