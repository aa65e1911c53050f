#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/secrets/KeychainStore.h"

namespace murmeli::settings {

enum class CLIInstallState { Active, Installable, ComingSoon };

/// One agent command-line tool murmeli can hook into, with its installer script and texts.
struct CLIAdapter {
    enum class ID { ClaudeCode, Codex, OpenClaw, OpenCode, Gemini, Kimi, Qoder, QwenCode, CodeBuddy };

    ID id = ID::ClaudeCode;
    QString displayName;
    QString installScriptName;
    QString comingSoonNote;
    QString shortDescription;

    bool operator==(const CLIAdapter&) const = default;

    /// The nine adapters in display order.
    static const std::vector<CLIAdapter>& allCases();

    /// Where the installer may lie, in the order tried: the source tree above a build-tree executable
    /// (<root>/build/main/app/murmeli → <root>/Resources/scripts), then an installed layout (<prefix>/bin/murmeli →
    /// <prefix>/share/murmeli/scripts).
    QStringList scriptCandidatePaths(const QString& executablePath) const;
    /// The first candidate that exists; nullopt for an adapter without an installer or when none exists.
    std::optional<QString> installScriptPath(const QString& executablePath) const;
    /// Claude Code is active when its hook secret is stored and its settings file registers every required event;
    /// the others by their installer and their agent's configuration. Reads files on the calling thread.
    CLIInstallState detectState(
        const QString& executablePath, const platform::KeychainStore& keychain, const QString& homePath) const;
};

QString toString(CLIAdapter::ID id);
std::optional<CLIAdapter::ID> cliAdapterIdFromString(const QString& rawValue);

} // namespace murmeli::settings
