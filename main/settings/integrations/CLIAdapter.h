#pragma once

#include <optional>
#include <vector>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "main/hooks/install/AgentAdapter.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::settings {

enum class CLIInstallState { Active, Installable, ComingSoon };

/// One agent command-line tool murmeli can hook into, as the Integrations page shows it: the name, installer and
/// texts of its row of hooks::AgentAdapters, which also says where its files lie and how its install is told.
struct CLIAdapter {
    using ID = hooks::AgentAdapter::ID;

    ID id = ID::ClaudeCode;
    QString displayName;
    QString installScriptName;
    QString comingSoonNote;
    QString shortDescription;

    bool operator==(const CLIAdapter&) const = default;

    /// The nine adapters in display order.
    static const std::vector<CLIAdapter>& allCases();

    /// The adapter's row of the agent table.
    const hooks::AgentAdapter& row() const;

    /// Where the installer may lie, in the order tried: the source tree above a build-tree executable
    /// (<root>/build/main/app/murmeli → <root>/Resources/scripts), then an installed layout (<prefix>/bin/murmeli →
    /// <prefix>/share/murmeli/scripts).
    QStringList scriptCandidatePaths(const QString& executablePath) const;
    /// The first candidate that exists; nullopt for an adapter without an installer or when none exists.
    std::optional<QString> installScriptPath(const QString& executablePath) const;
    /// Claude Code is active when its hook secret is stored and its settings file registers every required event;
    /// the others by their installer and the file their installer writes, found below homePath or where the
    /// environment's variables put it, as the installer finds it. Reads files on the calling thread.
    CLIInstallState detectState(const QString& executablePath, const platform::KeychainStore& keychain,
        const QString& homePath,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) const;
};

QString toString(CLIAdapter::ID id);
std::optional<CLIAdapter::ID> cliAdapterIdFromString(const QString& rawValue);

} // namespace murmeli::settings
