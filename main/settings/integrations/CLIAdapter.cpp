#include "main/settings/integrations/CLIAdapter.h"

#include <algorithm>
#include <array>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include "main/common/ResourcePaths.h"
#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::settings {

namespace {

constexpr std::array<std::pair<CLIAdapter::ID, const char*>, 9> idNames { {
    { CLIAdapter::ID::ClaudeCode, "claudeCode" },
    { CLIAdapter::ID::Codex, "codex" },
    { CLIAdapter::ID::OpenClaw, "openClaw" },
    { CLIAdapter::ID::OpenCode, "openCode" },
    { CLIAdapter::ID::Gemini, "gemini" },
    { CLIAdapter::ID::Kimi, "kimi" },
    { CLIAdapter::ID::Qoder, "qoder" },
    { CLIAdapter::ID::QwenCode, "qwenCode" },
    { CLIAdapter::ID::CodeBuddy, "codeBuddy" },
} };

// Configuration files are small; reading is bounded so a stray huge file cannot stall the page.
QByteArray readConfig(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > hooks::StatusFiles::maxSettingsBytes) {
        return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool containsMarker(const QString& path, const char* marker)
{
    return QString::fromUtf8(readConfig(path)).contains(QLatin1String(marker));
}

// A stored secret alone says only that an install once ran: the hooks may have been taken out of the settings since.
// A stale script path still counts as installed; the doctor names it.
bool claudeHooksInstalled(const platform::KeychainStore& keychain, const QString& homePath)
{
    using Kind = hooks::HookSelfCheck::Issue::Kind;
    if (keychain.load(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"))
            .isEmpty()) {
        return false;
    }
    const hooks::HookSelfCheck::Report report
        = hooks::HookSelfCheck::run(hooks::StatusFiles::agentSettingsPath(homePath));
    return std::none_of(report.issues.cbegin(), report.issues.cend(),
        [](const hooks::HookSelfCheck::Issue& issue) { return issue.kind != Kind::StaleScript; });
}

} // namespace

QString toString(CLIAdapter::ID id)
{
    for (const auto& [each, name] : idNames) {
        if (each == id) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

std::optional<CLIAdapter::ID> cliAdapterIdFromString(const QString& rawValue)
{
    for (const auto& [id, name] : idNames) {
        if (rawValue == QLatin1String(name)) {
            return id;
        }
    }
    return std::nullopt;
}

const std::vector<CLIAdapter>& CLIAdapter::allCases()
{
    using I = CLIAdapter::ID;
    static const std::vector<CLIAdapter> table {
        { I::ClaudeCode, QStringLiteral("Claude Code"), QStringLiteral("install-hooks.sh"), {},
            QStringLiteral("Anthropic's official CLI agent.") },
        { I::Codex, QStringLiteral("Codex CLI (Beta)"), QStringLiteral("install-codex-hook"), {},
            QStringLiteral("OpenAI Codex agent integration.") },
        { I::OpenClaw, QStringLiteral("OpenClaw (Beta)"), QStringLiteral("install-openclaw-hook"), {},
            QStringLiteral("Multi-agent orchestrator hook pack.") },
        { I::OpenCode, QStringLiteral("OpenCode (Beta)"), QStringLiteral("install-opencode-hook"), {},
            QStringLiteral("OpenCode plugin adapter (I-703 + I-919 v4).") },
        { I::Gemini, QStringLiteral("Gemini CLI (Beta)"), QStringLiteral("install-gemini-hook"), {},
            QStringLiteral("Google Gemini CLI adapter (I-704).") },
        { I::Qoder, QStringLiteral("Qoder (Beta)"), QStringLiteral("install-qoder-hook"), {},
            QStringLiteral("Qoder agent adapter (I-705).") },
        { I::CodeBuddy, QStringLiteral("CodeBuddy (Beta)"), QStringLiteral("install-codebuddy-hook"), {},
            QStringLiteral("Tencent CodeBuddy adapter (I-706).") },
        { I::Kimi, QStringLiteral("Kimi CLI"), {}, QStringLiteral("Moonshot Kimi CLI adapter \u2014 coming later."),
            {} },
        { I::QwenCode, QStringLiteral("Qwen Code"), {},
            QStringLiteral("Alibaba Qwen Code CLI adapter \u2014 coming later."), {} },
    };
    return table;
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

CLIInstallState CLIAdapter::detectState(
    const QString& executablePath, const platform::KeychainStore& keychain, const QString& homePath) const
{
    switch (id) {
    case ID::ClaudeCode:
        return claudeHooksInstalled(keychain, homePath) ? CLIInstallState::Active : CLIInstallState::Installable;
    case ID::Kimi:
    case ID::QwenCode:
        return CLIInstallState::ComingSoon;
    default:
        break;
    }
    if (!installScriptPath(executablePath)) {
        return CLIInstallState::ComingSoon;
    }
    bool active = false;
    switch (id) {
    case ID::Codex: {
        const QByteArray bytes = readConfig(homePath + QStringLiteral("/.codex/hooks.json"));
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
        active = !bytes.isEmpty() && error.error == QJsonParseError::NoError && (doc.isObject() || doc.isArray())
            && QString::fromUtf8(bytes).contains(QLatin1String("codex-hook"));
        break;
    }
    case ID::OpenClaw:
        active = QFileInfo::exists(homePath + QStringLiteral("/.openclaw/hooks/murmeli"));
        break;
    case ID::OpenCode:
        active = QFileInfo::exists(homePath + QStringLiteral("/.config/opencode/plugins/murmeli.js"));
        break;
    case ID::Gemini:
        active = containsMarker(homePath + QStringLiteral("/.gemini/settings.json"), "gemini-hook");
        break;
    case ID::Qoder:
        active = containsMarker(homePath + QStringLiteral("/.qoder/settings.json"), "qoder-hook");
        break;
    case ID::CodeBuddy:
        active = containsMarker(homePath + QStringLiteral("/.codebuddy/settings.json"), "codebuddy-hook");
        break;
    default:
        break;
    }
    return active ? CLIInstallState::Active : CLIInstallState::Installable;
}

} // namespace murmeli::settings
