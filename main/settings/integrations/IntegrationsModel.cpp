#include "main/settings/integrations/IntegrationsModel.h"

#include <QPointer>
#include <QProcessEnvironment>

#include "main/settings/integrations/ExternalScriptRunner.h"

namespace murmeli::settings {

namespace {

QString missingScriptText(const CLIAdapter& adapter, bool removing)
{
    if (adapter.id == CLIAdapter::ID::ClaudeCode && removing) {
        return adapter.installScriptName + QStringLiteral(" not found \u2014 cannot uninstall.");
    }
    return QStringLiteral("Install script not found at ") + adapter.installScriptName
        + (removing ? QStringLiteral(" \u2014 cannot uninstall.")
                    : QStringLiteral(" \u2014 make sure the bundled scripts/ directory is intact."));
}

QString resultTitle(const CLIAdapter& adapter, bool removing, int exitCode)
{
    const QString verb = removing ? QStringLiteral("uninstall") : QStringLiteral("install");
    if (exitCode == 0) {
        return adapter.displayName + QLatin1Char(' ') + verb + QStringLiteral("ed");
    }
    return adapter.displayName + QLatin1Char(' ') + verb + QStringLiteral(" failed (exit ") + QString::number(exitCode)
        + QLatin1Char(')');
}

} // namespace

QString InstallAlert::message() const
{
    return output.isEmpty() ? QStringLiteral("(no output)") : output;
}

IntegrationsModel::IntegrationsModel(Dependencies dependencies) : m_dependencies(std::move(dependencies)) { }

IntegrationsModel::~IntegrationsModel() = default;

bool IntegrationsModel::canInstall() const
{
    return bool(m_dependencies.installClaudeHooks);
}

CLIInstallState IntegrationsModel::state(CLIAdapter::ID id) const
{
    const auto found = m_states.find(id);
    return found == m_states.end() ? CLIInstallState::ComingSoon : found->second;
}

bool IntegrationsModel::isBusy(CLIAdapter::ID id) const
{
    return m_busy.count(id) > 0;
}

void IntegrationsModel::dismissAlert()
{
    if (m_alert) {
        m_alert.reset();
        changed();
    }
}

void IntegrationsModel::refreshAllCLIStatus()
{
    std::map<CLIAdapter::ID, CLIInstallState> states;
    for (const CLIAdapter& adapter : CLIAdapter::allCases()) {
        states[adapter.id] = adapter.detectState(m_dependencies.executablePath, m_dependencies.keychain,
            m_dependencies.homePath, m_dependencies.environment);
    }
    m_states = std::move(states);
    changed();
}

void IntegrationsModel::install(const CLIAdapter& adapter)
{
    if (!canInstall() || isBusy(adapter.id)) {
        return;
    }
    if (adapter.id == CLIAdapter::ID::ClaudeCode) {
        installClaude();
    } else {
        runScript(adapter, false);
    }
}

void IntegrationsModel::uninstall(const CLIAdapter& adapter)
{
    if (!canInstall() || isBusy(adapter.id)) {
        return;
    }
    runScript(adapter, true);
}

QCoro::Task<> IntegrationsModel::installClaude()
{
    QPointer<QObject> alive = m_lifetime.get();
    setBusy(CLIAdapter::ID::ClaudeCode, true);
    const std::optional<QString> failure = co_await m_dependencies.installClaudeHooks();
    if (!alive) {
        co_return;
    }
    setBusy(CLIAdapter::ID::ClaudeCode, false);
    if (!failure && m_dependencies.hooksInstalled) {
        m_dependencies.hooksInstalled();
    }
    // Success speaks through the badge; a failure must be seen where the user pressed.
    const CLIAdapter& claude = CLIAdapter::allCases().front();
    finish(failure ? std::optional<InstallAlert>(
               InstallAlert { claude.displayName + QStringLiteral(" install failed"), *failure })
                   : std::nullopt);
}

QCoro::Task<> IntegrationsModel::runScript(CLIAdapter adapter, bool removing)
{
    const std::optional<QString> script = adapter.installScriptPath(m_dependencies.executablePath);
    if (!script) {
        m_alert = InstallAlert { adapter.displayName
                + (removing ? QStringLiteral(" uninstall") : QStringLiteral(" install")),
            missingScriptText(adapter, removing) };
        changed();
        co_return;
    }
    QPointer<QObject> alive = m_lifetime.get();
    setBusy(adapter.id, true);
    QStringList arguments { *script };
    if (removing) {
        arguments << QStringLiteral("--uninstall");
    }
    QProcessEnvironment environment = m_dependencies.environment;
    environment.insert(QStringLiteral("MURMELI_BIN"), m_dependencies.executablePath);
    const ExternalScriptRunner::Result result = co_await ExternalScriptRunner::run(
        m_dependencies.runCommand, QString::fromLatin1(interpreter), arguments, environment);
    if (!alive) {
        co_return;
    }
    setBusy(adapter.id, false);
    if (!removing && result.exitCode == 0 && m_dependencies.hooksInstalled) {
        m_dependencies.hooksInstalled();
    }
    finish(InstallAlert { resultTitle(adapter, removing, result.exitCode), result.output });
}

void IntegrationsModel::setBusy(CLIAdapter::ID id, bool busy)
{
    if (busy) {
        m_busy.insert(id);
    } else {
        m_busy.erase(id);
    }
    changed();
}

void IntegrationsModel::finish(std::optional<InstallAlert> alert)
{
    if (alert) {
        m_alert = std::move(alert);
    }
    refreshAllCLIStatus();
}

void IntegrationsModel::changed()
{
    if (onChanged) {
        onChanged();
    }
}

} // namespace murmeli::settings
