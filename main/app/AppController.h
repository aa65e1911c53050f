#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QUrl>

#include "main/app/account/CloudAccount.h"
#include "main/app/link/DeviceLinkRoad.h"
#include "main/app/ptt/DesktopDictation.h"
#include "main/app/sessions/SessionRoad.h"
#include "main/app/shell/HealthTicker.h"
#include "main/app/shell/QuitRequest.h"
#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/common/NotificationHub.h"
#include "main/device/tts/Announcements.h"
#include "main/device/tts/SayTTSBackend.h"
#include "main/hooks/approvals/ApprovalRoad.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/server/HookServer.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/terminals/ProcessDiscovery.h"
#include "main/hooks/terminals/ProcessTable.h"
#include "main/hooks/terminals/TeleportTargetResolver.h"
#include "main/hooks/terminals/TerminalJump.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/settings/integrations/HookInstaller.h"
#include "main/usage/CodexBarUsageReader.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/preferences/AppSettingsCache.h"
#include "platform/audio/AudioPlayerFactory.h"
#include "platform/ble/BleTransportFactory.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::test {
class ControllerProbe;
}

namespace murmeli::app {

/// Builds, owns and wires every component, starts the back end, and tears everything down in order; lives on the main
/// thread. The work is the components': the sessions' road, dictation on the desktop, the device link's road, the
/// speech engine, the cloud account, the announcements.
class AppController final {
public:
    struct Dependencies {
        std::shared_ptr<platform::SecretStore> secrets;
        /// Where the hooks' shared secret may be kept (platform::makeHookSecretStore); secrets when empty.
        std::shared_ptr<platform::SecretStore> hookSecrets;
        std::shared_ptr<common::Clock> clock;
        quint16 hookPort = hooks::HookServer::defaultPort;
        QString statusDirectory = QString::fromLatin1(hooks::StatusFiles::directory);
        /// Whether the user named the status folder rather than murmeli: one that is there already keeps its mode.
        bool statusDirectoryNamed = false;
        /// The process table from which the start-up cleanup tells running sessions from gone ones.
        hooks::ProcessTable::AsyncReader processTable = [] { return hooks::ProcessTable::readAsync(); };
        /// A process's working directory, which ties an agent started without --resume to its session.
        hooks::ProcessDiscovery::WorkingDirectorySource processDirectory
            = &hooks::ProcessDiscovery::procWorkingDirectory;
        QString legacyStatusPath = QString::fromLatin1(hooks::StatusFiles::legacyStatusPath);
        std::shared_ptr<platform::Defaults> defaults;
        /// The agent's settings file that the start-up self-check reads.
        QString agentSettingsPath;
        /// murmeli's own executable, from which the installer scripts are found; the running one when empty.
        QString executablePath;
        /// The process's memory and thread count, for the health ticker.
        HealthTicker::ProcessStatsReader processStats = &platform::readProcessStats;
        /// murmeli's own settings file; "~/.murmeli/settings.json" when empty.
        QString appSettingsPath;
        /// One microphone capture per take; the sound server's default input when empty.
        voice::MicrophoneCapture::Factory audioCapture;
        /// The on-device recogniser; the platform's when empty.
        std::shared_ptr<platform::SpeechRecognizer> recognizer;
        /// Where takes are recorded; the system's temporary folder when empty.
        QString takeDirectory;
        /// The Bluetooth LE transport of the device link, made only when its Lab switch is on.
        std::function<std::unique_ptr<platform::BleTransport>()> bleTransport = &platform::makeBleTransport;
        /// The cloud account service's base address; the cloud service's one (voice::CloudEndpoints) when empty.
        QString cloudBaseURL;
        /// Opens an address in the user's browser (the checkout page); the desktop's handler when empty.
        std::function<void(const QUrl&)> openURL;
        /// The desktop's keys, windows, clipboard and focused element.
        std::function<platform::DesktopServices()> desktop = &platform::makeDesktopServices;
        /// The push-to-talk log's folder; "~/.murmeli/logs" when empty.
        QString pttLogDirectory;
        /// The speech synthesiser of the announcements.
        std::function<std::shared_ptr<device::TTSBackend>()> ttsBackend
            = [] { return std::make_shared<device::SayTTSBackend>(); };
        /// A player on the default audio output, for the spoken announcements and the cue sounds.
        std::function<std::unique_ptr<platform::AudioPlayer>()> audioPlayer = &platform::makeAudioPlayer;
    };

    /// Said under the strip when no stored hook secret can be used (%1: where each copy is kept and why).
    static constexpr auto secretRefusedNotice
        = "murmeli refuses every hook: %1. Mend or remove it, reinstall the hooks, restart murmeli";
    /// Said under the strip when another program holds the hook port (%1) at start-up.
    static constexpr auto portTakenNotice = "murmeli: port %1 is taken, so no agent reaches murmeli. Quit the other "
                                            "murmeli or the program on it, then start murmeli again";

    explicit AppController(Dependencies dependencies);
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    /// The one log sink of the process; the delegate points it at the log output.
    common::LogSink onLog;

    /// Starts the components that talk to the outside; called once, after the delegate has finished launching.
    void startBackend(const QString& binaryPath);

    /// The user-defaults store every component reads its preferences from.
    platform::Defaults& defaults() { return *m_dependencies.defaults; }
    /// The clock every component waits on.
    common::Clock& clock() { return *m_dependencies.clock; }
    /// murmeli's own executable, from which the installers are found.
    QString executablePath() const;
    /// Claude Code's settings file, which the start-up self-check reads.
    QString agentSettingsPath() const;
    /// The hooks' shared secret, in every store it may be kept in.
    const platform::KeychainStore& hookSecrets() const { return m_hookSecrets; }
    /// The notifications every window posts and observes.
    common::NotificationHub& notifications() { return m_notifications; }
    /// The panel's state and actions.
    notch::PanelViewModel& vm() { return m_vm; }
    /// The sessions: hook events, the sync with the panel, the next take's context.
    SessionRoad& sessions() { return m_sessions; }
    /// Runs Claude Code's installer.
    settings::HookInstaller& hookInstaller() { return m_hookInstaller; }
    /// An installer stored the hooks' secret while murmeli runs: the hook server insists on it from now on.
    void takeUpStoredHookSecret() { m_hookServer->takeUpStoredSecret(); }
    /// Polls the outside usage tool; started at start-up when its Lab switch is on.
    usage::CodexBarUsageReader& codexBarReader() { return m_codexBarReader; }
    /// Voice input, with its long-lived streaming session.
    voice::SpeechEngine& speech() { return m_speech; }
    /// Push-to-talk on the desktop, from a key to the pasted text.
    DesktopDictation& dictation() { return m_dictation; }
    /// The device link and its Lab switch.
    DeviceLinkRoad& deviceLink() { return m_deviceLink; }
    /// Speech out: the announcement engine that the Audio and Lab pages reach, and the cue output shared with the
    /// panel (silent until the panel's owner hands over the one that plays files).
    device::Announcements& announcements() { return m_announcements; }
    /// The cue output that plays the shipped sound files beside the executable, speaking through the announcements.
    std::shared_ptr<device::AudioCueOutput> makeAssetCueOutput();
    /// The cloud account: the mirror that the panel and the account pages read, and the session's operations.
    CloudAccount& cloudAccount() { return m_cloudAccount; }
    /// Quitting from the panel: logged, and asked first while requests are held.
    QuitRequest& quitRequest() { return m_quit; }

private:
    friend class test::ControllerProbe;

    HookServerHealth hookServerHealth() const;
    void startHookServer();
    void startUsageReader();

    Dependencies m_dependencies;
    // The sink handed to every component; it forwards to onLog, so clearing onLog silences them all.
    const common::LogSink m_log = [this](const QString& message, common::LogColor color) { onLog(message, color); };
    hooks::StatusDirectory m_statusDirectory;
    hooks::ProcessDiscovery m_processDiscovery;
    hooks::TeleportTargetResolver m_teleportResolver;
    platform::KeychainStore m_keychain;
    platform::KeychainStore m_hookSecrets;
    std::unique_ptr<hooks::HookServer> m_hookServer;
    std::unique_ptr<hooks::PendingRequestTable> m_pendingTable;
    hooks::ApprovalRoad m_approvalRoad;
    hooks::TerminalJump m_terminalJump;
    settings::HookInstaller m_hookInstaller;
    notch::PanelViewModel m_vm;
    SessionRoad m_sessions;
    // After the view model: a poll that ends during teardown must find it still there.
    usage::CodexBarUsageReader m_codexBarReader;
    bool m_backendStarted = false;

    // Application shell.
    common::NotificationHub m_notifications;
    HealthTicker m_healthTicker;
    QuitRequest m_quit;

    // Voice input.
    voice::SpeechEngine m_speech;
    voice::AppSettingsCache m_appSettings;
    DesktopDictation m_dictation;

    DeviceLinkRoad m_deviceLink;
    device::Announcements m_announcements;
    // Cloud account; after the speech engine and the view model it writes to.
    CloudAccount m_cloudAccount;
};

} // namespace murmeli::app
