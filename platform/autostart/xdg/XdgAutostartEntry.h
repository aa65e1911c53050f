#pragma once

#include "platform/autostart/LoginItem.h"

namespace murmeli::platform {

/// murmeli's entry in the desktop's autostart folder (the XDG autostart convention): present means it starts at
/// sign-in. Turning it on writes the entry atomically; turning it off removes it, and the folder too when murmeli made
/// it and nothing else is in it.
class XdgAutostartEntry final : public LoginItem {
public:
    static constexpr auto fileName = "murmeli.desktop";

    /// directory is the autostart folder; executablePath goes into the entry's Exec line; madeNote is the file that
    /// notes that murmeli made the folder (empty: none is kept, and the folder always stays).
    XdgAutostartEntry(QString directory, QString executablePath, QString madeNote = {});

    /// $XDG_CONFIG_HOME/autostart, with ~/.config when XDG_CONFIG_HOME is unset or not absolute.
    static QString standardDirectory();
    /// murmeli's note that it made the autostart folder, in its own configuration folder; the removal script reads it.
    static QString standardMadeNote();
    /// The entry's path in the folder.
    QString filePath() const;
    /// The entry's text; nullopt when the executable's path cannot be written into an Exec line (a line break or
    /// another control character in it).
    static std::optional<QByteArray> entryText(const QString& executablePath);

    bool isEnabled() const override;
    std::optional<QString> setEnabled(bool enabled) override;

private:
    std::optional<QString> write();
    std::optional<QString> remove();

    QString m_directory;
    QString m_executablePath;
    QString m_madeNote;
};

} // namespace murmeli::platform
