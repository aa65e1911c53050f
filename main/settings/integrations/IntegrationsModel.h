#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <QCoroTask>

#include "main/common/ProcessRunner.h"
#include "main/settings/integrations/CLIAdapter.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::settings {

/// What a finished install or uninstall tells the user, shown verbatim.
struct InstallAlert {
    QString title;
    QString output;

    /// The alert's body: the output, or "(no output)" when the script printed nothing.
    QString message() const;

    bool operator==(const InstallAlert&) const = default;
};

/// The CLI Hooks card of the Integrations page: every adapter's state, and the install and uninstall flows its
/// buttons start. Each click gives exactly one completion, which re-detects every adapter and, except after a
/// successful Claude Code install, raises the alert. Main thread only; a completion that arrives after the model is
/// gone is dropped (the script itself runs to its end).
class IntegrationsModel final {
public:
    struct Dependencies {
        /// murmeli's own executable: the installers are found from it, and told it (MURMELI_BIN) to edit the
        /// agents' files with.
        QString executablePath;
        /// The home whose agent configuration is read.
        QString homePath;
        platform::KeychainStore keychain;
        common::CommandRunner runCommand = common::defaultCommandRunner();
        /// Claude Code's install through the application: nullopt when it succeeded, else what went wrong. Empty
        /// when no application stands behind the window; nothing can be installed then.
        std::function<QCoro::Task<std::optional<QString>>()> installClaudeHooks {};
        /// The variables that move the agents' files away from the home (CODEX_HOME, XDG_CONFIG_HOME, ...): the
        /// installers run with it, and the agents' files are looked for where it puts them.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        /// After an installer succeeded: it may have stored the hooks' secret, which murmeli should insist on at once.
        std::function<void()> hooksInstalled {};
    };

    explicit IntegrationsModel(Dependencies dependencies);
    ~IntegrationsModel();
    IntegrationsModel(const IntegrationsModel&) = delete;
    IntegrationsModel& operator=(const IntegrationsModel&) = delete;

    /// Called after every change of a state, a busy mark or the alert.
    std::function<void()> onChanged;

    /// Whether the page offers install and uninstall buttons at all.
    bool canInstall() const;
    /// The adapter's state at the last refresh; ComingSoon before the first one.
    CLIInstallState state(CLIAdapter::ID id) const;
    /// While true the adapter's buttons are disabled (and another adapter's install button reads "Working…").
    bool isBusy(CLIAdapter::ID id) const;
    /// The result of the last finished flow until dismissed.
    const std::optional<InstallAlert>& alert() const { return m_alert; }
    void dismissAlert();

    /// Re-detects every adapter, in table order, and replaces all states at once.
    void refreshAllCLIStatus();
    /// "Install…" and "Reinstall…". Does nothing while the adapter is busy or without an application.
    void install(const CLIAdapter& adapter);
    /// "Uninstall…". Does nothing while the adapter is busy or without an application.
    void uninstall(const CLIAdapter& adapter);

    /// The interpreter every installer runs with.
    static constexpr const char* interpreter = "/bin/bash";

private:
    QCoro::Task<> installClaude();
    QCoro::Task<> runScript(CLIAdapter adapter, bool removing);
    void setBusy(CLIAdapter::ID id, bool busy);
    void finish(std::optional<InstallAlert> alert);
    void changed();

    Dependencies m_dependencies;
    std::map<CLIAdapter::ID, CLIInstallState> m_states;
    std::set<CLIAdapter::ID> m_busy;
    std::optional<InstallAlert> m_alert;
    // Flows outlive the page that started them; their completions check this first.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::settings
