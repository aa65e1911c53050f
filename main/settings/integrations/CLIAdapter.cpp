#include "main/settings/integrations/CLIAdapter.h"

#include <algorithm>

#include <QFileInfo>
#include <QJsonDocument>

#include "main/common/BoundedFile.h"
#include "main/common/ResourcePaths.h"
#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::settings {

namespace {

using Detection = hooks::AgentAdapter::Detection;

// Configuration files are small; reading is bounded so a stray huge file cannot stall the page.
QByteArray readConfig(const QString& path)
{
    return common::BoundedFile::read(path, hooks::StatusFiles::maxSettingsBytes).value_or(QByteArray());
}

// A stored secret alone says only that an install once ran: the hooks may have been taken out of the settings since.
// A stale script path still counts as installed; the doctor names it.
bool hooksAndSecretFound(const hooks::AgentAdapter& row, const platform::KeychainStore& keychain,
    const QString& homePath, const QProcessEnvironment& environment)
{
    using Kind = hooks::HookSelfCheck::Issue::Kind;
    if (keychain.load(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"))
            .isEmpty()) {
        return false;
    }
    const hooks::HookSelfCheck::Report report = hooks::HookSelfCheck::run(
        row.settingsPath(homePath, environment), hooks::HookSelfCheck::existsOnDisk, row.requiredEvents());
    return std::none_of(report.issues.cbegin(), report.issues.cend(),
        [](const hooks::HookSelfCheck::Issue& issue) { return issue.kind != Kind::StaleScript; });
}

bool installFound(const hooks::AgentAdapter& row, const QString& homePath, const QProcessEnvironment& environment)
{
    switch (row.detection) {
    case Detection::JsonWithMarker: {
        const QByteArray bytes = readConfig(row.settingsPath(homePath, environment));
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
        return !bytes.isEmpty() && error.error == QJsonParseError::NoError && (doc.isObject() || doc.isArray())
            && QString::fromUtf8(bytes).contains(row.hookScript());
    }
    case Detection::TextWithMarker:
        return QString::fromUtf8(readConfig(row.settingsPath(homePath, environment))).contains(row.hookScript());
    case Detection::PackExists:
        return row.pack && QFileInfo::exists(row.pack->resolve(homePath, environment));
    case Detection::SecretAndHooks:
    case Detection::ComingLater:
        break;
    }
    return false;
}

} // namespace

QString toString(CLIAdapter::ID id)
{
    return hooks::AgentAdapters::get(id).key;
}

std::optional<CLIAdapter::ID> cliAdapterIdFromString(const QString& rawValue)
{
    for (const hooks::AgentAdapter& row : hooks::AgentAdapters::all()) {
        if (rawValue == row.key) {
            return row.id;
        }
    }
    return std::nullopt;
}

const std::vector<CLIAdapter>& CLIAdapter::allCases()
{
    static const std::vector<CLIAdapter> table = [] {
        std::vector<CLIAdapter> adapters;
        for (const hooks::AgentAdapter& row : hooks::AgentAdapters::all()) {
            adapters.push_back(
                { row.id, row.displayName, row.installScriptName, row.comingSoonNote, row.shortDescription });
        }
        return adapters;
    }();
    return table;
}

const hooks::AgentAdapter& CLIAdapter::row() const
{
    return hooks::AgentAdapters::get(id);
}

QStringList CLIAdapter::scriptCandidatePaths(const QString& executablePath) const
{
    QStringList candidates;
    for (const QString& folder : common::resourceFolderCandidates(executablePath, common::ResourceFolder::Scripts)) {
        candidates << folder + QLatin1Char('/') + installScriptName;
    }
    return candidates;
}

std::optional<QString> CLIAdapter::installScriptPath(const QString& executablePath) const
{
    if (installScriptName.isEmpty()) {
        return std::nullopt;
    }
    for (const QString& candidate : scriptCandidatePaths(executablePath)) {
        if (QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

CLIInstallState CLIAdapter::detectState(const QString& executablePath, const platform::KeychainStore& keychain,
    const QString& homePath, const QProcessEnvironment& environment) const
{
    const hooks::AgentAdapter& adapter = row();
    switch (adapter.detection) {
    case Detection::SecretAndHooks:
        return hooksAndSecretFound(adapter, keychain, homePath, environment) ? CLIInstallState::Active
                                                                             : CLIInstallState::Installable;
    case Detection::ComingLater:
        return CLIInstallState::ComingSoon;
    default:
        break;
    }
    if (!installScriptPath(executablePath)) {
        return CLIInstallState::ComingSoon;
    }
    return installFound(adapter, homePath, environment) ? CLIInstallState::Active : CLIInstallState::Installable;
}

} // namespace murmeli::settings
